#include "web/SciZipFile.h"

#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>

#include "platform/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr size_t kLocalHeaderSize = 30;    // signature + 26 bytes
constexpr size_t kCentralHeaderSize = 46;  // signature + 42 bytes
constexpr size_t kEndRecordSize = 22;      // signature + 18 bytes

constexpr uint16_t kFlagEncrypted = 1u << 0;
constexpr uint16_t kFlagDataDescriptor = 1u << 3;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// Every 258 output bytes of a deflate stream cost at least two bits (a length
// code and a distance code of one bit each), so no stream inflates further.
constexpr uint64_t kMaxDeflateRatio = 1032;

const char* const kIndexOutOfRange = "Index out of range.";
const char* const kTruncated = "Truncated zip archive.";
const char* const kDamaged = "Damaged zip archive.";
const char* const kNotZip = "Not a zip archive.";
const char* const kZip64 = "Zip64 archives are not supported.";

uint16_t U16(std::string_view d, size_t p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(d[p]) | static_cast<uint8_t>(d[p + 1]) << 8);
}
uint32_t U32(std::string_view d, size_t p) { return U16(d, p) | static_cast<uint32_t>(U16(d, p + 2)) << 16; }

// The name as it can appear in a message: control bytes (a NUL would cut the
// message short) shown as "?".
std::string Printable(std::string_view name) {
    std::string s(name);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

std::string Quoted(std::string_view name) { return "\"" + Printable(name) + "\""; }

[[noreturn]] void Fail(const std::string& message) { throw EZipFileError(message); }

[[noreturn]] void CrcError(const std::string& name) { throw EZipFileCRCError("CRC Error in " + Quoted(name) + "."); }

// Sequential reader over the archive bytes; every read is bounds-checked.
class Reader {
public:
    explicit Reader(std::string_view d) : d_(d) {}
    size_t Pos() const { return p_; }
    size_t Left() const { return d_.size() - p_; }
    void Seek(size_t p) { p_ = p; }
    bool Has(size_t n) const { return n <= Left(); }
    std::optional<uint32_t> PeekWord() const {
        if (!Has(4)) return std::nullopt;
        return U32(d_, p_);
    }
    uint16_t Word16() {
        uint16_t v = U16(d_, p_);
        p_ += 2;
        return v;
    }
    uint32_t Word32() {
        uint32_t v = U32(d_, p_);
        p_ += 4;
        return v;
    }
    std::string Bytes(size_t n) {
        std::string s(d_.substr(p_, n));
        p_ += n;
        return s;
    }

private:
    std::string_view d_;
    size_t p_ = 0;
};

bool ReadCentralHeader(Reader& r, TFileHeader& h) {
    if (!r.Has(kCentralHeaderSize)) return false;
    h.Signature = r.Word32();
    h.VersionMadeBy = r.Word16();
    h.VersionNeeded = r.Word16();
    h.Flags = r.Word16();
    h.Method = r.Word16();
    h.Time = r.Word16();
    h.Date = r.Word16();
    h.Crc32 = r.Word32();
    h.CompressedSize = r.Word32();
    h.UncompressedSize = r.Word32();
    h.NameLength = r.Word16();
    h.ExtraLength = r.Word16();
    h.CommentLength = r.Word16();
    h.DiskNumberStart = r.Word16();
    h.InternalAttributes = r.Word16();
    h.ExternalAttributes = r.Word32();
    h.LocalHeaderOffset = r.Word32();
    if (!r.Has(size_t{h.NameLength} + h.ExtraLength + h.CommentLength)) return false;
    h.Name = r.Bytes(h.NameLength);
    h.Extra = r.Bytes(h.ExtraLength);
    h.Comment = r.Bytes(h.CommentLength);
    return true;
}

bool ReadEndRecord(Reader& r, TEndOfCentralDir& e) {
    if (!r.Has(kEndRecordSize)) return false;
    e.Signature = r.Word32();
    e.DiskNumber = r.Word16();
    e.CentralDirDisk = r.Word16();
    e.EntriesOnDisk = r.Word16();
    e.EntriesTotal = r.Word16();
    e.CentralDirSize = r.Word32();
    e.CentralDirOffset = r.Word32();
    e.CommentLength = r.Word16();
    if (!r.Has(e.CommentLength)) return false;
    e.Comment = r.Bytes(e.CommentLength);
    return true;
}

// Position of the end record, searched backwards from the end of the data
// over the largest comment it can have.
std::optional<size_t> FindEndRecord(std::string_view d) {
    if (d.size() < kEndRecordSize) return std::nullopt;
    size_t last = d.size() - kEndRecordSize;
    size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
    for (size_t p = last + 1; p-- > first;)
        if (U32(d, p) == kEndSignature && p + kEndRecordSize + U16(d, p + 20) <= d.size()) return p;
    return std::nullopt;
}

void RefuseZip64(uint32_t compressedSize, uint32_t uncompressedSize) {
    constexpr uint32_t kEscape = 0xFFFFFFFF;
    if (compressedSize == kEscape || uncompressedSize == kEscape) Fail(kZip64);
}

// The central directory as the end record places it, for entries whose local
// header leaves sizes and CRC to a data descriptor. `shift` is what has to be
// added to a stored offset to find the header in the data (bytes before the
// archive proper, as a self-extractor stub puts there).
struct CentralIndex {
    std::vector<TFileHeader> headers;
    int64_t shift = 0;
};

CentralIndex ReadCentralIndex(std::string_view d) {
    CentralIndex index;
    std::optional<size_t> end = FindEndRecord(d);
    if (!end) return index;
    uint32_t size = U32(d, *end + 12), offset = U32(d, *end + 16);
    if (size > *end) return index;
    size_t start = *end - size;
    index.shift = static_cast<int64_t>(start) - offset;
    Reader r(d.substr(0, *end));
    r.Seek(start);
    while (r.PeekWord() == kCentralSignature) {
        TFileHeader h;
        if (!ReadCentralHeader(r, h)) break;
        index.headers.push_back(std::move(h));
    }
    return index;
}

// Refuses what this reader cannot inflate, before anything is allocated for it.
void CheckSupported(const TLocalFile& f) {
    if (f.Flags & kFlagEncrypted) Fail("Encrypted entry " + Quoted(f.Name) + " is not supported.");
    if (f.Method != kMethodStored && f.Method != kMethodDeflated)
        Fail("Compression method " + std::to_string(f.Method) + " of " + Quoted(f.Name) + " is not supported.");
    if (f.UncompressedSize > TZipFile::kMaxUncompressedBytes)
        Fail("Entry " + Quoted(f.Name) + " is larger than 256 MiB.");
    uint64_t most = f.Method == kMethodStored ? f.CompressedSize : uint64_t{f.CompressedSize} * kMaxDeflateRatio;
    if (f.UncompressedSize > most) Fail("Entry " + Quoted(f.Name) + " claims more data than it holds.");
}

std::string Inflate(const TLocalFile& f) {
    // One spare byte: a stream that would yield more than the stored size fills it.
    std::string out(size_t{f.UncompressedSize} + 1, '\0');
    z_stream s{};
    if (inflateInit2(&s, -MAX_WBITS) != Z_OK) Fail("Cannot start inflating " + Quoted(f.Name) + ".");
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(f.CompressedData.data()));
    s.avail_in = static_cast<uInt>(f.CompressedData.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&s, Z_FINISH);
    uLong produced = s.total_out;
    inflateEnd(&s);
    // A damaged stream, or one that ends early or runs long, is a data error
    // like a CRC mismatch: the entry's bytes are not the ones stored.
    if (rc != Z_STREAM_END || produced != f.UncompressedSize) CrcError(f.Name);
    out.resize(f.UncompressedSize);
    return out;
}

// Why an entry name could land outside the extraction folder, or empty.
std::string UnsafeNameReason(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return "a NUL byte";
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return "an absolute path";
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return "a drive letter";
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return "a parent folder";
        start = end + 1;
    }
    return {};
}

void CreateFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!std::filesystem::is_directory(path, ec)) Fail("Cannot create folder \"" + path + "\".");
}

}  // namespace

uint32_t ZipCRC32(std::string_view data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes lengths as uInt; feed large strings in pieces.
    while (!data.empty()) {
        size_t n = std::min<size_t>(data.size(), std::numeric_limits<uInt>::max());
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(n));
        data.remove_prefix(n);
    }
    return static_cast<uint32_t>(crc);
}

void TZipFile::LoadFromFile(const std::string& path) {
    files_.clear();
    headers_.clear();
    end_ = {};
    std::string data, error;
    if (!fileio::ReadFile(path, data, error, kMaxArchiveBytes)) Fail(error);
    try {
        Parse(data);
    } catch (const EZipFileError& e) {
        Fail(std::string(e.what()) + "\r\n" + path);
    }
}

void TZipFile::LoadFromStream(std::istream& stream) {
    files_.clear();
    headers_.clear();
    end_ = {};
    std::string data;
    char buf[1 << 16];
    while (stream) {
        stream.read(buf, sizeof buf);
        size_t n = static_cast<size_t>(stream.gcount());
        if (data.size() + n > kMaxArchiveBytes) Fail("Zip archive larger than 256 MiB.");
        data.append(buf, n);
    }
    if (stream.bad()) Fail("Cannot read zip archive.");
    Parse(data);
}

void TZipFile::Parse(std::string_view d) {
    std::vector<TLocalFile> files;
    std::vector<TFileHeader> headers;
    TEndOfCentralDir end;
    Reader r(d);

    // The first local header is looked for at every 4-byte word.
    while (r.PeekWord() && r.PeekWord() != kLocalSignature) r.Seek(r.Pos() + 4);
    if (!r.PeekWord()) {
        // No entries: only an empty archive (a lone end record) is one.
        std::optional<size_t> e = FindEndRecord(d);
        if (!e || U16(d, *e + 10) != 0) Fail(kNotZip);
        Reader er(d);
        er.Seek(*e);
        ReadEndRecord(er, end);
        end_ = std::move(end);
        return;
    }

    std::optional<CentralIndex> central;
    while (r.PeekWord() == kLocalSignature) {
        size_t headerPos = r.Pos();
        if (!r.Has(kLocalHeaderSize)) Fail(kTruncated);
        TLocalFile f;
        f.Signature = r.Word32();
        f.VersionNeeded = r.Word16();
        f.Flags = r.Word16();
        f.Method = r.Word16();
        f.Time = r.Word16();
        f.Date = r.Word16();
        f.Crc32 = r.Word32();
        f.CompressedSize = r.Word32();
        f.UncompressedSize = r.Word32();
        f.NameLength = r.Word16();
        f.ExtraLength = r.Word16();
        if (!r.Has(size_t{f.NameLength} + f.ExtraLength)) Fail(kTruncated);
        f.Name = r.Bytes(f.NameLength);
        f.Extra = r.Bytes(f.ExtraLength);
        RefuseZip64(f.CompressedSize, f.UncompressedSize);

        bool descriptor = f.Flags & kFlagDataDescriptor;
        if (descriptor) {
            // Streaming writers leave sizes and CRC to a descriptor after the
            // data; the central directory has them.
            if (!central) central = ReadCentralIndex(d);
            const TFileHeader* match = nullptr;
            for (const TFileHeader& h : central->headers)
                if (static_cast<int64_t>(h.LocalHeaderOffset) + central->shift == static_cast<int64_t>(headerPos)) {
                    match = &h;
                    break;
                }
            if (!match) Fail("No central directory entry for " + Quoted(f.Name) + ".");
            if (match->Name != f.Name) Fail(kDamaged);
            RefuseZip64(match->CompressedSize, match->UncompressedSize);
            f.Crc32 = match->Crc32;
            f.CompressedSize = match->CompressedSize;
            f.UncompressedSize = match->UncompressedSize;
        }
        if (!r.Has(f.CompressedSize)) Fail("Entry " + Quoted(f.Name) + " is truncated.");
        f.CompressedData = r.Bytes(f.CompressedSize);

        if (descriptor) {
            // CRC and two sizes, with or without a signature in front; where
            // both readings are possible, the one followed by a record wins.
            auto recordAt = [&](size_t p) {
                if (p + 4 > d.size()) return false;
                uint32_t w = U32(d, p);
                return w == kLocalSignature || w == kCentralSignature;
            };
            size_t p = r.Pos();
            bool signature = r.PeekWord() == kDescriptorSignature;
            size_t next = signature && (recordAt(p + 16) || !recordAt(p + 12)) ? p + 16 : p + 12;
            if (next > d.size()) Fail(kTruncated);
            r.Seek(next);
        }
        files.push_back(std::move(f));
    }

    while (r.PeekWord() == kCentralSignature) {
        TFileHeader h;
        if (!ReadCentralHeader(r, h)) Fail(kTruncated);
        RefuseZip64(h.CompressedSize, h.UncompressedSize);
        headers.push_back(std::move(h));
    }

    // An archive always ends with its end record; data that stops before it
    // has lost entries.
    std::optional<uint32_t> word = r.PeekWord();
    if (!word) Fail(kTruncated);
    if (word == kZip64EndSignature || word == kZip64LocatorSignature) Fail(kZip64);
    if (word != kEndSignature) Fail(kDamaged);
    if (!ReadEndRecord(r, end)) Fail(kTruncated);

    files_ = std::move(files);
    headers_ = std::move(headers);
    end_ = std::move(end);
}

const TLocalFile& TZipFile::At(int i) const {
    if (i < 0 || i >= Count()) Fail(kIndexOutOfRange);
    return files_[static_cast<size_t>(i)];
}

const std::string& TZipFile::Name(int i) const { return At(i).Name; }

const TLocalFile& TZipFile::LocalFile(int i) const { return At(i); }

std::string TZipFile::GetUncompressed(int i) const {
    const TLocalFile& f = At(i);
    CheckSupported(f);
    std::string data;
    if (f.Method == kMethodStored) {
        if (f.CompressedSize != f.UncompressedSize) CrcError(f.Name);
        data = f.CompressedData;
    } else {
        data = Inflate(f);
    }
    if (ZipCRC32(data) != f.Crc32) CrcError(f.Name);
    return data;
}

namespace {
// The first folder of `path` that does not exist yet (empty when it exists), so
// that a failed extraction can remove what it made.
std::string FirstMissingFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::path(path).lexically_normal();
    if (!p.has_filename()) p = p.parent_path();
    std::string missing;
    while (!p.empty() && !std::filesystem::exists(p, ec)) {
        missing = p.string();
        if (p == p.parent_path()) break;
        p = p.parent_path();
    }
    return missing;
}

// What is at `path` itself, a symbolic link not followed (a trailing "/" would
// make the system follow it).
std::filesystem::file_status OwnStatus(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec);
}

// A folder where one is expected: missing, or a real folder and not a link to one
// elsewhere, whose contents would then be written outside the target.
void RefuseNonFolder(const std::string& path) {
    const std::filesystem::file_status st = OwnStatus(path);
    if (std::filesystem::exists(st) && !std::filesystem::is_directory(st))
        Fail("\"" + path + "\" is not a folder (" +
             (std::filesystem::is_symlink(st) ? "a link" : "a file") + "); nothing was unpacked into it.");
}

// Moves the staged tree into `base`: a rename when `base` is new, else file by
// file over what is there, never through a link in place of a folder.
void MoveIntoPlace(const std::string& stage, const std::string& base) {
    namespace fs = std::filesystem;
    std::error_code ec;
    RefuseNonFolder(base);
    if (!fs::exists(OwnStatus(base))) {
        if (::rename(stage.c_str(), base.c_str()) == 0) return;
    }
    for (auto it = fs::recursive_directory_iterator(stage, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path dest = fs::path(base) / fs::relative(it->path(), stage, ec);
        if (it->is_directory(ec)) {
            RefuseNonFolder(dest.string());
            CreateFolder(dest.string());
        } else if (::rename(it->path().c_str(), dest.c_str()) != 0) {
            Fail("Cannot write \"" + dest.string() + "\": " + std::strerror(errno) + ".");
        }
    }
    if (ec) Fail("Cannot read \"" + stage + "\": " + ec.message() + ".");
}
}  // namespace

std::string ExtractZipToFolder(const std::string& archivePath, const std::string& targetFolder) {
    TZipFile zip;
    zip.LoadFromFile(archivePath);

    // Everything that can be known before writing is checked first, so that a
    // refused archive leaves nothing behind. The folder named after the archive
    // obeys the entry rules too ("..zip" would unpack into the target itself).
    const std::string folderName = fileio::ChangeFileExt(fileio::ExtractFileName(archivePath), "");
    std::string reason = UnsafeNameReason(folderName);
    if (reason.empty() && (folderName.empty() || folderName == "." || folderName.find('\\') != std::string::npos))
        reason = "not a folder of its own";
    if (!reason.empty()) Fail("Unsafe folder name " + Quoted(folderName) + " (" + reason + ").");
    uint64_t total = 0;
    for (int i = 0; i < zip.Count(); ++i) {
        const TLocalFile& f = zip.LocalFile(i);
        reason = UnsafeNameReason(f.Name);
        if (!reason.empty()) Fail("Unsafe entry name " + Quoted(f.Name) + " (" + reason + ").");
        CheckSupported(f);
        total += f.UncompressedSize;
        if (total > TZipFile::kMaxUncompressedBytes) Fail("Archive unpacks to more than 256 MiB.");
    }

    std::string target = targetFolder;
    if (target.empty() || target.back() != '/') target += '/';
    const std::string base = target + folderName + "/";
    RefuseNonFolder(base);
    const std::string made = FirstMissingFolder(target);
    CreateFolder(target);

    // Entries go to a folder beside the result and are moved there only when
    // every one of them was read and written: a late error leaves nothing.
    std::string stage = target + "." + folderName + ".XXXXXX";
    if (!::mkdtemp(stage.data())) {
        std::error_code ec;
        if (!made.empty()) std::filesystem::remove_all(made, ec);
        Fail("Cannot create a folder in \"" + target + "\".");
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(stage.c_str(), 0777 & ~mask);
    try {
        for (int i = 0; i < zip.Count(); ++i) {
            std::string data = zip.GetUncompressed(i);
            std::string path = stage + "/" + zip.Name(i);
            for (char& c : path)
                if (c == '\\') c = '/';
            CreateFolder(fileio::ExtractFilePath(path));
            if (path.back() == '/') continue;  // a folder entry
            std::string error;
            if (!fileio::WriteFileAtomic(path, data, error)) Fail(error);
        }
        MoveIntoPlace(stage, base);
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(stage, ec);
        if (!made.empty()) std::filesystem::remove_all(made, ec);
        throw;
    }
    std::error_code ec;
    std::filesystem::remove_all(stage, ec);
    return base;
}
