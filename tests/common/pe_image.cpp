// SPDX-License-Identifier: GPL-2.0-or-later
#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace hardsid::test {

namespace {

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint32_t U16(size_t offset) const { return Byte(offset) | Byte(offset + 1) << 8; }
    uint32_t U32(size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
    std::string String(size_t offset) const {
        std::string text;
        while (Byte(offset) != 0) {
            text.push_back(static_cast<char>(Byte(offset++)));
        }
        return text;
    }

private:
    uint32_t Byte(size_t offset) const {
        if (offset >= bytes_.size()) {
            throw std::runtime_error("PE file too short at offset " + std::to_string(offset));
        }
        return bytes_[offset];
    }
    const std::vector<uint8_t>& bytes_;
};

struct Section {
    uint32_t address, size, fileOffset;
};

} // namespace

PeImage ReadPeImage(const std::vector<uint8_t>& file) {
    const Reader r(file);
    if (r.U16(0) != 0x5A4D) {
        throw std::runtime_error("no MZ header");
    }
    const uint32_t pe = r.U32(0x3C);
    if (r.U32(pe) != 0x00004550) {
        throw std::runtime_error("no PE signature");
    }
    PeImage image;
    image.machine = static_cast<uint16_t>(r.U16(pe + 4));
    const uint32_t sectionCount = r.U16(pe + 6);
    const uint32_t optionalSize = r.U16(pe + 20);
    const size_t optional = pe + 24;
    const bool is64 = r.U16(optional) == 0x20B;
    const size_t directories = optional + (is64 ? 112 : 96);

    std::vector<Section> sections;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const size_t s = optional + optionalSize + i * 40;
        sections.push_back({r.U32(s + 12), std::max(r.U32(s + 8), r.U32(s + 16)), r.U32(s + 20)});
    }
    const auto offsetOf = [&](uint32_t rva) -> size_t {
        for (const Section& s : sections) {
            if (rva >= s.address && rva < s.address + s.size) {
                return rva - s.address + s.fileOffset;
            }
        }
        throw std::runtime_error("address outside every section: " + std::to_string(rva));
    };

    if (const uint32_t exportRva = r.U32(directories); exportRva != 0) {
        const size_t e = offsetOf(exportRva);
        image.moduleName = r.String(offsetOf(r.U32(e + 12)));
        const uint32_t base = r.U32(e + 16);
        const uint32_t functionCount = r.U32(e + 20);
        const uint32_t nameCount = r.U32(e + 24);
        const size_t functions = offsetOf(r.U32(e + 28));
        for (uint32_t i = 0; i < functionCount; ++i) {
            if (const uint32_t address = r.U32(functions + 4 * i); address != 0) {
                image.exports.push_back({base + i, address, ""});
            }
        }
        if (nameCount > 0) {
            const size_t names = offsetOf(r.U32(e + 32));
            const size_t ordinals = offsetOf(r.U32(e + 36));
            for (uint32_t i = 0; i < nameCount; ++i) {
                const uint32_t ordinal = base + r.U16(ordinals + 2 * i);
                for (PeExport& exported : image.exports) {
                    if (exported.ordinal == ordinal) {
                        exported.name = r.String(offsetOf(r.U32(names + 4 * i)));
                    }
                }
            }
        }
    }
    if (const uint32_t importRva = r.U32(directories + 8); importRva != 0) {
        for (size_t d = offsetOf(importRva); r.U32(d + 12) != 0; d += 20) {
            image.importedDlls.push_back(r.String(offsetOf(r.U32(d + 12))));
        }
    }
    return image;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace hardsid::test
