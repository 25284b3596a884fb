#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace ziptest {
namespace {
void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
}  // namespace

std::string Deflate(const std::string& data) {
    z_stream s{};
    if (deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
    std::string out(deflateBound(&s, data.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

std::string BuildZip(const std::vector<Entry>& entries, const std::string& comment) {
    std::string out, central;
    for (const Entry& e : entries) {
        std::string payload = e.payload ? *e.payload : e.method == 8 ? Deflate(e.data) : e.data;
        uint32_t crc = e.crc ? *e.crc
                             : static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                                           static_cast<uInt>(e.data.size())));
        uint32_t csize = e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(payload.size());
        uint32_t usize = e.uncompressedSize ? *e.uncompressedSize : static_cast<uint32_t>(e.data.size());
        uint16_t flags = static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0));
        uint32_t offset = static_cast<uint32_t>(out.size());

        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, flags);
        Put16(out, e.method);
        Put16(out, 0x6000);  // 12:00:00
        Put16(out, 0x5A81);  // 2025-04-01
        Put32(out, e.descriptor ? 0 : crc);
        Put32(out, e.descriptor ? 0 : csize);
        Put32(out, e.descriptor ? 0 : usize);
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, 0);
        out += e.name;
        out += payload;
        if (e.descriptor) {
            if (e.descriptorSignature) Put32(out, 0x08074B50);
            Put32(out, crc);
            Put32(out, csize);
            Put32(out, usize);
        }

        Put32(central, 0x02014B50);
        Put16(central, 0x031E);
        Put16(central, 20);
        Put16(central, flags);
        Put16(central, e.method);
        Put16(central, 0x6000);
        Put16(central, 0x5A81);
        Put32(central, crc);
        Put32(central, csize);
        Put32(central, usize);
        Put16(central, static_cast<uint32_t>(e.name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0100644u << 16);
        Put32(central, offset);
        central += e.name;
    }
    uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, static_cast<uint32_t>(comment.size()));
    out += comment;
    return out;
}

}  // namespace ziptest
