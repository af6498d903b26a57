#ifndef OXA_OBJECTS_VDATATYPE_H
#define OXA_OBJECTS_VDATATYPE_H

#include <oxa/base/oxa_export.h>

// A named data type of property values: "Number", "Vector", "Lcl Translation" and the others
// that properties are created with and that animation channels are matched by. There is one
// instance per name, kept in a sorted registry, so data types may be compared by identity.
class OXA_API VDataType {
public:
    constexpr VDataType(const char* name, int valueType, int componentCount, int valueSize, int baseIndex)
        : mName(name),
          mValueType(valueType),
          mComponentCount(componentCount),
          mValueSize(valueSize),
          mBaseIndex(baseIndex) {}
    VDataType(const VDataType&) = delete;
    VDataType& operator=(const VDataType&) = delete;

    constexpr const char* GetName() const { return mName; }
    // The value-type code of the values (EValueType of vproperty.h).
    int GetValueType() const { return mValueType; }
    // Number of components: 1 for scalars, 3 for "Vector" and "Color", 4 for "Vector4".
    int GetComponentCount() const { return mComponentCount; }
    // Size of a value in bytes.
    int GetValueSize() const { return mValueSize; }
    // The general type this one specialises ("Vector" for "Lcl Translation"), null for the
    // general types themselves.
    const VDataType* GetBaseType() const;

    // The registered data type of that name (byte-exact), null when none. "Trigger" answers the
    // "Action" type.
    static const VDataType* Find(const char* name);
    // The data type a value type has when a property has none of its own: "Number" for 4,
    // "Vector4" for 12, "Vector" for 13, "Color" for 14, "ColorAndAlpha" for 15; null otherwise.
    static const VDataType* GetDefault(int valueType);
    // Every registered type, in name order (for listing).
    static int GetCount();
    static const VDataType* GetAt(int index);

private:
    const char* mName;
    int mValueType;
    int mComponentCount;
    int mValueSize;
    int mBaseIndex;  // into the registry, -1 for none
};

// The value-type code of `dataType`, 0 for null.
OXA_API int GetValueTypeOfDataType(const VDataType* dataType);

#endif  // OXA_OBJECTS_VDATATYPE_H
