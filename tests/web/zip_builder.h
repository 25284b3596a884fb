#pragma once
// Builds zip archives byte by byte for tests, including ones no zip tool would
// write (hostile names, lying sizes, odd methods).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

struct Entry {
    std::string name;
    std::string data;
    uint16_t method = 8;  // 0 stored, 8 deflated; others store the data as is
    uint16_t flags = 0;
    // Sizes and CRC go into a data descriptor after the data (flag bit 3).
    bool descriptor = false;
    bool descriptorSignature = true;
    // Overrides of what the headers claim.
    std::optional<uint32_t> crc, compressedSize, uncompressedSize;
    // Replaces the compressed bytes.
    std::optional<std::string> payload;
};

// Raw deflate (no zlib header), as zip entries hold it.
std::string Deflate(const std::string& data);
std::string BuildZip(const std::vector<Entry>& entries, const std::string& comment = "");

}  // namespace ziptest
