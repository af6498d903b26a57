// The two-sided control-point weight table.
#include "attributes/voxa_weight_table.h"

#include <cmath>

VOXAWeightTable::VOXAWeightTable(int sourceCount, int destinationCount) {
    Init(sourceCount, destinationCount);
}

VOXAWeightTable::~VOXAWeightTable() {
    Clear();
}

void VOXAWeightTable::Init(int sourceCount, int destinationCount) {
    Clear();
    if (sourceCount > 0) mSides[0].resize(static_cast<size_t>(sourceCount));
    if (destinationCount > 0) mSides[1].resize(static_cast<size_t>(destinationCount));
}

void VOXAWeightTable::Add(int source, int destination, double weight) {
    Row& sourceRow = mSides[0][static_cast<size_t>(source)];
    Row& destinationRow = mSides[1][static_cast<size_t>(destination)];
    const int sourcePosition = static_cast<int>(sourceRow.size());
    const int destinationPosition = static_cast<int>(destinationRow.size());
    sourceRow.push_back(VOXAWeightEntry{destination, weight, destinationPosition});
    destinationRow.push_back(VOXAWeightEntry{source, weight, sourcePosition});
}

int VOXAWeightTable::GetRowCount(int side) const {
    return static_cast<int>(Side(side).size());
}

int VOXAWeightTable::GetEntryCount(int side, int row) const {
    return static_cast<int>(Side(side)[static_cast<size_t>(row)].size());
}

VOXAWeightEntry& VOXAWeightTable::GetEntry(int side, int row, int position) {
    return Side(side)[static_cast<size_t>(row)][static_cast<size_t>(position)];
}

const VOXAWeightEntry& VOXAWeightTable::GetEntry(int side, int row, int position) const {
    return Side(side)[static_cast<size_t>(row)][static_cast<size_t>(position)];
}

int VOXAWeightTable::FindEntry(int side, int row, int index) const {
    const Row& entries = Side(side)[static_cast<size_t>(row)];
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].index == index) return static_cast<int>(i);
    }
    return -1;
}

double VOXAWeightTable::GetWeightSum(int side, int row, bool absolute) const {
    double sum = 0.0;
    for (const VOXAWeightEntry& entry : Side(side)[static_cast<size_t>(row)]) {
        sum += absolute ? std::fabs(entry.weight) : entry.weight;
    }
    return sum;
}

void VOXAWeightTable::Normalize(int side, bool absolute) {
    std::vector<Row>& rows = Side(side);
    std::vector<Row>& others = Side(side == 0 ? 1 : 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        const double sum = GetWeightSum(side, static_cast<int>(r), absolute);
        for (VOXAWeightEntry& entry : rows[r]) {
            double weight = 0.0;
            if (sum != 0.0) {
                weight = entry.weight / sum;
                if (absolute) weight = std::fabs(weight);
            }
            entry.weight = weight;
            // Each link knows its own mirror, so a pair added twice keeps both copies equal and
            // no other row is searched.
            if (entry.index < 0 || static_cast<size_t>(entry.index) >= others.size()) continue;
            Row& mirrorRow = others[static_cast<size_t>(entry.index)];
            if (entry.mirror >= 0 && static_cast<size_t>(entry.mirror) < mirrorRow.size()) {
                mirrorRow[static_cast<size_t>(entry.mirror)].weight = weight;
            }
        }
    }
}

void VOXAWeightTable::Clear() {
    mSides[0].clear();
    mSides[0].shrink_to_fit();
    mSides[1].clear();
    mSides[1].shrink_to_fit();
}
