#ifndef OXA_ATTRIBUTES_VOXA_SHAPE_H
#define OXA_ATTRIBUTES_VOXA_SHAPE_H

#include <oxa/attributes/voxa_geometry_base.h>
#include <oxa/base/oxa_export.h>
#include <oxa/scene/voxa_node_attribute.h>

// A blend-shape target: a second set of control points (and, through its layers, normals) for a
// geometry, which lists it under a shape name and animates its weight per take. Attribute type
// 0. The manager makes and destroys shapes.
class OXA_API VOxaShape : public VOxaGeometryBase {
public:
    // No points, no layers.
    explicit VOxaShape(VOxaSdkManager* manager) : VOxaGeometryBase(manager) {}
    ~VOxaShape() override = default;

    int GetAttributeType() const override { return eShape; }

    // The other shape's layers (deep copies), then its control points.
    VOxaShape& operator=(const VOxaShape& other);

private:
    friend class VOxaGeometry;
    friend class VOxaSdkManager;
    // How many geometries list this shape (kept by VOxaGeometry), so that destroying a shape
    // nobody lists looks at no geometry.
    int mHolderCount = 0;
};

// Marks a node as the reference of optical motion-capture markers; it carries no data.
// Attribute type 10, type name "Optical", the one type flag "Marker".
class OXA_API VOxaOpticalReference : public VOxaNodeAttribute {
public:
    explicit VOxaOpticalReference(VOxaSdkManager* manager) : VOxaNodeAttribute(manager) {}
    ~VOxaOpticalReference() override = default;

    int GetAttributeType() const override { return eOpticalReference; }
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;

    // Nothing to copy: answers this reference unchanged.
    VOxaOpticalReference& operator=(const VOxaOpticalReference&) { return *this; }
};

#endif  // OXA_ATTRIBUTES_VOXA_SHAPE_H
