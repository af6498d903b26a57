#ifndef OXA_CHARACTER_VOXA_CHARACTER_PARAMETERS_H
#define OXA_CHARACTER_VOXA_CHARACTER_PARAMETERS_H

#include <oxa/base/oxa_export.h>

// The 177 solver parameters of a character: one fixed descriptor table (name, parent, mode
// type, unit, bounds, defaults) and, per character, a store of one mode word and one value per
// parameter, in descriptor order.
//
// Mode types: 0 none, 1 on/off (modes 0, 1), 2 three-state (0, 1, 2; 1 follows the parent),
// 3 two-state (0, 1; 0 follows the parent). Units: 0 none, 1 a fraction shown as a percentage,
// 2..4 measured quantities, 5 a choice, 6 a percentage or plain number. Unit-1 rows are used
// with their maximum and default times 100 (in single precision: 0.6 gives 60.000004).
//
// Indexes and names usually come from files: an index outside 0..176 writes nothing, and the
// getters answer null for a name, 0 for a number and -1 for an integer field.
class OXA_API VOxaCharacterParameterStore {
public:
    enum { eParameterCount = 177 };

    // Every entry at its row's default mode and value.
    VOxaCharacterParameterStore();
    VOxaCharacterParameterStore(const VOxaCharacterParameterStore&) = default;
    VOxaCharacterParameterStore& operator=(const VOxaCharacterParameterStore&) = default;
    // Back to the defaults.
    void Reset();

    // --- Descriptor queries ----------------------------------------------------------------
    static int GetParameterCount() { return eParameterCount; }
    static const char* GetParameterName(int index);
    // The index of the row named `name` (exact, case-sensitive); -1 when none.
    static int FindParameter(const char* name);
    static int GetParameterParent(int index);
    static int GetParameterModeType(int index);
    static int GetParameterUnit(int index);
    static int GetParameterComponentFlag(int index);
    static bool GetParameterInvert(int index);
    static double GetParameterMin(int index);
    static double GetParameterMax(int index);
    static int GetParameterDefaultMode(int index);
    static double GetParameterDefaultValue(int index);

    // The parameter whose value property or mode property is `propertyName`, with the given
    // vector component (0 for every plain property): its name and true; null and false when
    // no row maps to that pair.
    static bool FindParameterForProperty(const char** parameterName, const char* propertyName, int component);
    // The same answering the index, and whether the property stands for the mode (true) or the
    // value; -1 when none.
    static int FindParameterIndexForProperty(const char* propertyName, int component, bool* isMode);

    // --- Store -------------------------------------------------------------------------------
    // Stores `mode` when the row's mode type accepts it (type 2: 0..2; types 1 and 3: 0..1);
    // anything else changes nothing.
    void SetMode(int index, int mode);
    int GetMode(int index) const;
    // Stores the value, unclamped; there is one value per parameter, so `component` is ignored.
    void SetValue(int index, double value, int component = 0);
    double GetValue(int index, int component = 0) const;

    // --- Evaluation over the parent tree -----------------------------------------------------
    // Mode type 2 in mode 1, or mode type 3 in mode 0.
    bool IsFollowingParent(int index) const;
    // Following a parent: the parent's ratio (1 - ratio for an inverted row); not following,
    // with unit 1 or 6: value x 0.01; otherwise -1.
    double EvaluateParentRatio(int index) const;
    // Every row of a unit other than 0 that follows its parent takes (max - min) x ratio + min,
    // or its default value when the ratio is negative.
    void UpdateFollowingValues();
    // -1 is enabled; mode type 0 (or above 3) is enabled; types 1 and 2 in mode 0 are disabled
    // and otherwise as enabled as their parent; type 3 is as enabled as its parent. Any other
    // index outside the table is not enabled.
    bool IsEnabled(int index) const;

private:
    static bool IsValidIndex(int index) { return index >= 0 && index < eParameterCount; }

    struct Entry {
        int mMode;
        double mValue;
    };
    Entry mEntries[eParameterCount];
};

#endif  // OXA_CHARACTER_VOXA_CHARACTER_PARAMETERS_H
