// Helpers of the 3DS toolkit tests: a builder of chunk files in memory, temporary files, a fresh
// toolkit state per test, and a printable form of a chunk tree for comparisons.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_3DS_FTK_TEST_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_3DS_FTK_TEST_UTIL_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"

namespace ftktest {

using Bytes = std::vector<uint8_t>;

// Little-endian byte building.
inline void Put16(Bytes& out, uint16_t value) {
    out.push_back((uint8_t)value);
    out.push_back((uint8_t)(value >> 8));
}
inline void Put32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back((uint8_t)(value >> (8 * i)));
}
inline void PutFloat(Bytes& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    Put32(out, bits);
}
inline void PutString(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
// A chunk: header with the right length, own data, then the sub-chunks.
inline Bytes ChunkBytes(uint16_t tag, const Bytes& data, std::initializer_list<Bytes> children = {}) {
    Bytes body = data;
    for (const Bytes& child : children)
        body.insert(body.end(), child.begin(), child.end());
    Bytes out;
    Put16(out, tag);
    Put32(out, (uint32_t)(6 + body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
inline Bytes Floats(std::initializer_list<float> values) {
    Bytes out;
    for (float value : values)
        PutFloat(out, value);
    return out;
}
inline Bytes Shorts(std::initializer_list<uint16_t> values) {
    Bytes out;
    for (uint16_t value : values)
        Put16(out, value);
    return out;
}
inline Bytes Text(const std::string& text) {
    Bytes out;
    PutString(out, text);
    return out;
}

inline std::filesystem::path TempDir() {
    return std::filesystem::temp_directory_path() / ("ftk_test_" + std::to_string(::getpid()));
}

// Removes the test's temporary folder when the program ends.
struct TempDirCleaner {
    ~TempDirCleaner() {
        std::error_code error;
        std::filesystem::remove_all(TempDir(), error);
    }
};
inline TempDirCleaner gTempDirCleaner;

inline std::string TempPath(const std::string& name) {
    std::filesystem::path dir = TempDir();
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every test starts and ends with no open file, no error and the continue flag off.
class FtkTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        Ftk::CloseAllFiles();
        Ftk::ClearErrors();
        Ftk::SetContinueFlag(false);
    }
    // The codes on the error stack, first to last (the overflow entry last).
    static std::vector<int> Codes() {
        std::vector<int> codes;
        const Ftk::ErrorEntry* list = Ftk::GetErrorList();
        for (int i = 0; i < Ftk::kErrorListSize; ++i)
            if (list[i].mCode) codes.push_back(list[i].mCode);
        return codes;
    }
    static bool Has(int code) {
        for (int c : Codes())
            if (c == code) return true;
        return false;
    }
};

// Writes `bytes` to a file and loads it: the database and its open file (closed by the caller or
// by the fixture's reset).
inline Ftk::Database* LoadBytes(const Bytes& bytes, const std::string& name, Ftk::File** fileOut = nullptr) {
    std::string path = TempPath(name);
    WriteFile(path, bytes);
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "rb");
    if (fileOut) *fileOut = file;
    if (!file) return nullptr;
    Ftk::Database* database = nullptr;
    Ftk::NewDatabase(&database);
    Ftk::LoadDatabase(file, database);
    return database;
}

// Saves the database to `path` (closing the file); true when no error was pushed.
inline bool SaveTo(Ftk::Database* database, const std::string& path) {
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "wb");
    if (!file) return false;
    Ftk::SaveDatabase(file, database);
    Ftk::CloseFile(file);
    return !Ftk::IsErrorPending();
}

// One line per chunk: depth, tag, and the record's bytes in hex (parent numbers of node headers
// and, with `stamps` false, the release stamps left out). Loads every record it shows.
inline void DumpTreeInto(Ftk::Chunk* chunk, int depth, bool stamps, std::ostringstream& out) {
    for (; chunk; chunk = chunk->mNext) {
        if (chunk->mTag == 0 || chunk->mTag == Ftk::NODE_PARENT_NAME) continue;
        out << std::string((size_t)depth, ' ') << std::hex << chunk->mTag << std::dec;
        Ftk::ChunkData* data = Ftk::ReadChunkData(chunk);
        std::vector<uint8_t> bytes;
        Ftk::SerializeRecord(chunk->mTag, data, bytes);
        bool isStamp = chunk->mTag == Ftk::FILE_VERSION || chunk->mTag == Ftk::EDITOR_VERSION;
        if (chunk->mTag == Ftk::KEYFRAMER_HEADER && bytes.size() >= 2) bytes[0] = bytes[1] = 0;
        if (chunk->mTag == Ftk::NODE_HEADER && bytes.size() >= 2) bytes.resize(bytes.size() - 2);
        if (stamps || !isStamp) {
            out << " ";
            static const char* kHex = "0123456789abcdef";
            for (uint8_t b : bytes)
                out << kHex[b >> 4] << kHex[b & 15];
        }
        out << "\n";
        Ftk::UnloadChunkData(chunk);
        DumpTreeInto(chunk->mChildren, depth + 1, stamps, out);
    }
}
inline std::string DumpTree(Ftk::Chunk* root, bool stamps = false) {
    std::ostringstream out;
    if (!root) return out.str();
    Ftk::Chunk* next = root->mNext;
    root->mNext = nullptr;
    DumpTreeInto(root, 0, stamps, out);
    root->mNext = next;
    return out.str();
}

}  // namespace ftktest

#endif  // OXA_TESTS_FORMATS_GEOMETRY_3DS_FTK_TEST_UTIL_H
