// The fuzz targets whose readers take a file name write each input to a per-process file first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Writes the `size` bytes of `data` to `path`, replacing it; false when the file cannot be made.
inline bool WriteFuzzInput(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    return true;
}
