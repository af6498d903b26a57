// Builds small C3D files by hand, as the public format lays them out: a header block, a parameter
// section of records and a data section, in any of the three processor formats (Intel, DEC,
// MIPS) and with integer or floating-point data.
#ifndef OXA_TESTS_FORMATS_MOTION_C3D_C3D_FILE_BUILDER_H
#define OXA_TESTS_FORMATS_MOTION_C3D_C3D_FILE_BUILDER_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace c3dtest {

struct Point {
    double x = 0, y = 0, z = 0;  // file units (millimetres unless UNITS says otherwise)
    bool valid = true;
};

// One record: a group (group < 0, no value) or a parameter.
struct Record {
    std::string name;
    int group = 1;
    int type = 0;                 // -1 characters, 1 bytes, 2 16-bit integers, 4 floats, 0 none
    std::vector<int> dims;        // file order: fastest first
    std::string bytes;            // characters and bytes
    std::vector<double> numbers;  // integers and floats, encoded in the file's format
    std::string description;
    int offset = -1;  // -1: the real distance to the next record
    bool locked = false;
};

inline Record Group(const std::string& name, int id) {
    Record r;
    r.name = name;
    r.group = -id;
    return r;
}

inline Record Chars(const std::string& name, const std::string& text, int group = 1) {
    Record r;
    r.name = name;
    r.group = group;
    r.type = -1;
    r.dims = {(int)text.size()};
    r.bytes = text;
    return r;
}

// A table of labels, each row `width` characters filled with blanks.
inline Record Table(const std::string& name, const std::vector<std::string>& rows, int width, int group = 1) {
    Record r;
    r.name = name;
    r.group = group;
    r.type = -1;
    r.dims = {width, (int)rows.size()};
    for (const std::string& row : rows) {
        std::string cell = row.substr(0, (size_t)width);
        cell.resize((size_t)width, ' ');
        r.bytes += cell;
    }
    return r;
}

inline Record Ints(const std::string& name, const std::vector<double>& values, int group = 1) {
    Record r;
    r.name = name;
    r.group = group;
    r.type = 2;
    if (values.size() != 1) r.dims = {(int)values.size()};
    r.numbers = values;
    return r;
}

inline Record Float(const std::string& name, double value, int group = 1) {
    Record r;
    r.name = name;
    r.group = group;
    r.type = 4;
    r.numbers = {value};
    return r;
}

class Builder {
public:
    int processor = 1;  // 1 Intel, 2 DEC, 3 MIPS
    bool floating = true;
    float scale = -1.0f;  // header scale; for integer data the step of one unit
    float rate = 100.0f;
    int firstFrame = 1;
    int analog = 0;  // analog values after each frame
    int parameterBlock = 2;
    int dataBlock = 0;    // 0: the block after the parameter section
    int pointCount = -1;  // -1: the points of the first frame
    int lastFrame = -1;   // -1: from the frames
    int events = 0;
    uint16_t word1 = 0;  // 0: parameter block | 0x5000
    std::vector<Record> records;
    std::vector<std::vector<Point>> frames;

    void U16(std::string& out, uint16_t v) const {
        if (processor == 3) {
            out += (char)(v >> 8);
            out += (char)(v & 0xFF);
        } else {
            out += (char)(v & 0xFF);
            out += (char)(v >> 8);
        }
    }
    // IEEE bits for Intel (low byte first) and MIPS (high byte first); DEC holds the same bit
    // pattern with the exponent 2 larger, as two 16-bit words, high word first, each low byte first.
    void F32(std::string& out, float f) const {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        if (processor == 2) {
            if ((u & 0x7FFFFFFFu) != 0)
                u += 2u << 23;
            else
                u = 0;
            out += (char)((u >> 16) & 0xFF);
            out += (char)(u >> 24);
            out += (char)(u & 0xFF);
            out += (char)((u >> 8) & 0xFF);
        } else if (processor == 3) {
            for (int s = 24; s >= 0; s -= 8)
                out += (char)((u >> s) & 0xFF);
        } else {
            for (int s = 0; s <= 24; s += 8)
                out += (char)((u >> s) & 0xFF);
        }
    }

    std::string Section() const {
        std::string out;
        out += (char)1;
        out += (char)80;
        out += (char)1;  // block count (patched by Build)
        out += (char)(83 + processor);
        for (const Record& r : records) {
            std::string body;
            if (r.group > 0) {
                body += (char)(int8_t)r.type;
                if (r.type != 0) {
                    body += (char)r.dims.size();
                    for (int d : r.dims)
                        body += (char)d;
                    if (r.type == 2) {
                        for (double v : r.numbers)
                            U16(body, (uint16_t)(int32_t)v);  // a word stored signed or unsigned
                    } else if (r.type == 4) {
                        for (double v : r.numbers)
                            F32(body, (float)v);
                    } else {
                        body += r.bytes;
                    }
                }
            }
            body += (char)r.description.size();
            body += r.description;
            const int length = (int)r.name.size();
            out += (char)(int8_t)(r.locked ? -length : length);
            out += (char)(int8_t)r.group;
            out += r.name;
            U16(out, (uint16_t)(r.offset >= 0 ? r.offset : (int)body.size() + 2));
            out += body;
        }
        out += std::string(2, '\0');
        return out;
    }

    std::string Build() const {
        const int points = pointCount >= 0 ? pointCount : frames.empty() ? 0 : (int)frames[0].size();
        std::string section = Section();
        const size_t sectionStart = (size_t)(parameterBlock - 1) * 512;
        const size_t sectionBlocks = (section.size() + 511) / 512;
        section[2] = (char)sectionBlocks;
        section.resize(sectionBlocks * 512, '\0');
        const int data = dataBlock ? dataBlock : parameterBlock + (int)sectionBlocks;

        std::string out;
        if (word1) {
            out += (char)(word1 & 0xFF);
            out += (char)(word1 >> 8);
        } else {
            out += (char)parameterBlock;
            out += (char)0x50;
        }
        U16(out, (uint16_t)points);
        U16(out, (uint16_t)analog);
        U16(out, (uint16_t)firstFrame);
        U16(out, (uint16_t)(lastFrame >= 0 ? lastFrame : firstFrame + (int)frames.size() - 1));
        U16(out, 0);
        F32(out, scale);
        U16(out, (uint16_t)data);
        U16(out, 1);
        F32(out, rate);
        out.resize(298, '\0');
        U16(out, 12345);
        U16(out, (uint16_t)events);
        out.resize(512, '\0');
        if (out.size() < sectionStart) out.resize(sectionStart, '\0');
        out.replace(sectionStart, section.size(), section);
        out.resize((size_t)(data - 1) * 512, '\0');
        for (const auto& frame : frames) {
            for (const Point& p : frame) {
                if (floating) {
                    F32(out, (float)p.x);
                    F32(out, (float)p.y);
                    F32(out, (float)p.z);
                    F32(out, p.valid ? 2.0f : -1.0f);
                } else {
                    // A header may declare any scale, 0 included: the stored words saturate.
                    auto word = [&](double v) {
                        double w = scale != 0.0 ? v / scale : v;
                        w = w < -32768.0 ? -32768.0 : w > 32767.0 ? 32767.0 : w;
                        return (uint16_t)(int16_t)w;
                    };
                    U16(out, word(p.x));
                    U16(out, word(p.y));
                    U16(out, word(p.z));
                    // Residual in the low byte, camera bits in the high byte; -1 marks invalid.
                    U16(out, p.valid ? (uint16_t)0x0103 : (uint16_t)0xFFFF);
                }
            }
            out.append((size_t)analog * (floating ? 4 : 2), '\x7f');
        }
        return out;
    }
};

}  // namespace c3dtest

#endif  // OXA_TESTS_FORMATS_MOTION_C3D_C3D_FILE_BUILDER_H
