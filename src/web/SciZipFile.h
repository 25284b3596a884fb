#pragma once
// Zip archive reading for the update package: the whole archive is read into
// memory, entries are listed in archive order and inflated on request with a
// CRC-32 check, and ExtractZipToFolder unpacks every entry below a folder.
//
// Contract:
// - Stored (method 0) and deflated (method 8) entries are read. Other methods,
//   encrypted entries and Zip64 archives are refused with EZipFileError.
// - Entries whose local header defers sizes and CRC to a data descriptor
//   (flag bit 3) take them from the central directory.
// - Every failure is an EZipFileError (a CRC or data mismatch is the subclass
//   EZipFileCRCError); nothing is allocated from a header field beyond what the
//   archive can hold or kMaxUncompressedBytes.
// - Not thread-safe; one TZipFile per thread.
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class EZipFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EZipFileCRCError : public EZipFileError {
public:
    using EZipFileError::EZipFileError;
};

// A local entry: its header, name, extra field and compressed data.
struct TLocalFile {
    uint32_t Signature = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t Time = 0;
    uint16_t Date = 0;
    // From the central directory when Flags bit 3 defers them to a data descriptor.
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    std::string Name;
    std::string Extra;
    std::string CompressedData;
};

// A central-directory entry.
struct TFileHeader {
    uint32_t Signature = 0;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t Time = 0;
    uint16_t Date = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;
    std::string Name;
    std::string Extra;
    std::string Comment;
};

// The end-of-central-directory record.
struct TEndOfCentralDir {
    uint32_t Signature = 0;
    uint16_t DiskNumber = 0;
    uint16_t CentralDirDisk = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t EntriesTotal = 0;
    uint32_t CentralDirSize = 0;
    uint32_t CentralDirOffset = 0;
    uint16_t CommentLength = 0;
    std::string Comment;
};

// The published CRC-32 of zip files (initial value all ones, final complement).
uint32_t ZipCRC32(std::string_view data);

class TZipFile {
public:
    // Largest archive read, and largest entry or extraction total inflated.
    static constexpr size_t kMaxArchiveBytes = size_t{256} << 20;
    static constexpr uint64_t kMaxUncompressedBytes = uint64_t{256} << 20;

    // Both replace what was loaded before; on an exception the file is left empty.
    // Errors of LoadFromFile name the file.
    void LoadFromFile(const std::string& path);
    void LoadFromStream(std::istream& stream);

    int Count() const { return static_cast<int>(files_.size()); }
    // Stored name of local entry i; raises "Index out of range." outside 0..Count-1.
    const std::string& Name(int i) const;
    // The inflated bytes of entry i, checked against the stored size and CRC-32.
    std::string GetUncompressed(int i) const;

    const TLocalFile& LocalFile(int i) const;
    const std::vector<TFileHeader>& FileHeaders() const { return headers_; }
    const TEndOfCentralDir& EndRecord() const { return end_; }

private:
    void Parse(std::string_view data);
    const TLocalFile& At(int i) const;

    std::vector<TLocalFile> files_;
    std::vector<TFileHeader> headers_;
    TEndOfCentralDir end_;
};

// Unpacks every entry of the archive into targetFolder/<archive name without
// extension>/, creating folders as needed. Every entry name is checked before
// anything is written: names that could land outside that folder are refused,
// as are archives whose entries add up to more than kMaxUncompressedBytes.
// The folder name taken from the archive's name obeys the same rules. Entries are
// unpacked into a temporary folder beside the result and moved into place only
// when every one was read with a good CRC-32 and written; on any error nothing
// is left behind. A link (or file) where the result folder or one of its
// subfolders is expected is refused, so nothing is written through it. Returns
// the folder the entries went to.
std::string ExtractZipToFolder(const std::string& archivePath, const std::string& targetFolder);

