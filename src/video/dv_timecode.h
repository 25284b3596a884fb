#pragma once
// The recording date and time that a DV camcorder writes into every frame: the
// REC DATE (0x62) and REC TIME (0x63) packs of the VAUX DIF blocks, with the
// copies in the subcode blocks as fallback. Our own small reader of the DIF block
// layout; nothing of a frame beyond the pack bytes is interpreted.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace video {

struct DvRecTime {
    int year = 0;  // four digits: two-digit years 69..99 are 19xx, 00..68 are 20xx
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DvRecTime&) const = default;
};

// The recording date and time of one DV frame (`size` bytes, any whole number of
// 80-byte DIF blocks; a trailing partial block is ignored). Each of date and time
// is taken from the first valid VAUX pack, else from the first valid subcode pack;
// nullopt unless both are found. Packs with a digit out of range (0xFF "no
// information" included) or a day the month does not have are skipped.
std::optional<DvRecTime> ParseDvRecTime(const uint8_t* data, size_t size);

// Decodes one 5-byte pack (type byte first) into the date or the time fields of
// `t`; false when the pack is not a valid one of that type.
bool DecodeRecDatePack(const uint8_t* pack, DvRecTime& t);
bool DecodeRecTimePack(const uint8_t* pack, DvRecTime& t);

// `t` through strftime in the C locale, whatever the program's locale ("%x" gives
// "03/05/24", "%X" "21:43:58"). Empty when the result exceeds kMaxFormatted bytes.
constexpr size_t kMaxFormatted = 255;
std::string FormatDvTime(const DvRecTime& t, const std::string& format);

// Reads the recording time of frame n of a video file, frame numbers as the
// decoder counts them (a dropped-frame slot shows the time of the frame before
// it). Only the packets are read; nothing is decoded. Not thread-safe.
class DvTimeReader {
public:
    DvTimeReader();
    ~DvTimeReader();
    DvTimeReader(const DvTimeReader&) = delete;
    DvTimeReader& operator=(const DvTimeReader&) = delete;

    // False with `error` when the file cannot be read or has no video stream. A
    // video that is not DV opens with IsDv() false.
    bool Open(const std::string& path, std::string& error);
    bool IsDv() const;
    // nullopt when the video is not DV, the frame carries no valid recording time
    // or its packet cannot be read.
    std::optional<DvRecTime> TimeOf(int n);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace video
