#ifndef OXA_ATTRIBUTES_VOXA_WEIGHT_TABLE_H
#define OXA_ATTRIBUTES_VOXA_WEIGHT_TABLE_H

#include <oxa/base/oxa_export.h>

#include <vector>

// One link of a weight table row: the row number on the other side and the weight. `mirror`
// is the position of the same link in that row of the other side, kept by the table.
struct OXA_API VOXAWeightEntry {
    int index = 0;
    double weight = 0.0;
    int mirror = 0;
};

// A sparse two-sided table of weighted links between a source index space (side 0) and a
// destination index space (side 1). Every link is held in the row of each side, so the
// destinations fed by a source and the sources feeding a destination are one row walk away.
// Entries within a row keep insertion order; adding a pair twice holds it twice.
//
// Row and position arguments are the caller's to keep within GetRowCount / GetEntryCount;
// no operation reports errors.
class OXA_API VOXAWeightTable {
public:
    // Init with the two counts.
    VOXAWeightTable(int sourceCount, int destinationCount);
    ~VOXAWeightTable();
    VOXAWeightTable(const VOXAWeightTable&) = delete;
    VOXAWeightTable& operator=(const VOXAWeightTable&) = delete;

    // Clear, then that many empty rows on each side (none for a count of 0 or less).
    void Init(int sourceCount, int destinationCount);
    // Appends (destination, weight) to source row `source` and (source, weight) to destination
    // row `destination`.
    void Add(int source, int destination, double weight);
    // Number of rows of side 0 (sources) or any other value (destinations).
    int GetRowCount(int side) const;
    // Number of entries in the row.
    int GetEntryCount(int side, int row) const;
    // The entry at `position` of the row; its weight may be written.
    VOXAWeightEntry& GetEntry(int side, int row, int position);
    const VOXAWeightEntry& GetEntry(int side, int row, int position) const;
    // Position of the row's first entry whose index is `index`, or -1.
    int FindEntry(int side, int row, int index) const;
    // Sum of the row's weights (of their absolute values when `absolute`); 0.0 when empty.
    double GetWeightSum(int side, int row, bool absolute) const;
    // Divides every weight of each row of `side` by the row's sum (made absolute when
    // `absolute`), writing it to the entry and to its own mirror entry on the other side (so a
    // pair added twice stays equal on both sides); a row summing to exactly 0.0 becomes all
    // zeros.
    void Normalize(int side, bool absolute);
    // Deletes every row of both sides.
    void Clear();

private:
    typedef std::vector<VOXAWeightEntry> Row;
    std::vector<Row>& Side(int side) { return side == 0 ? mSides[0] : mSides[1]; }
    const std::vector<Row>& Side(int side) const { return side == 0 ? mSides[0] : mSides[1]; }

    std::vector<Row> mSides[2];
};

#endif  // OXA_ATTRIBUTES_VOXA_WEIGHT_TABLE_H
