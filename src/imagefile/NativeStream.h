#pragma once
// Adapters between the library's streams and Qt's QIODevice, in both directions.
// Errors of the library's streams become QIODevice errors (read or write returns
// -1 and errorString() holds the message), because Qt code does not expect
// exceptions; the adapter's own refusals are described per class.
#include <QIODevice>

#include "imagefile/Streams.h"

namespace imagefile {

// A sequential QIODevice over one of our streams, opened for the directions the
// stream allows. Turns the stream's ExactIO off. Seeking is refused with the
// error text "Seeking not supported". Does not own the stream.
class TNativeStream : public QIODevice {
public:
    explicit TNativeStream(TBaseStream* stream);
    bool isSequential() const override { return true; }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;
    TBaseStream* stream_;
};

// A random-access QIODevice over one of our seekable streams.
class TSeekableNativeStream : public TNativeStream {
public:
    explicit TSeekableNativeStream(TSeekableStream* stream);
    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 pos) override;
    // origin 0 from the beginning, 1 from the current position, 2 from the end;
    // other origins raise EStreamError "Unknown seek origin". Returns the position.
    qint64 Seek(qint64 offset, int origin);
    // Growing appends zero bytes; shrinking truncates and keeps the position when
    // it was inside the new size.
    void SetSize(qint64 newSize);

private:
    TSeekableStream* seekable_;
};

// One of our seekable streams over a QIODevice (which must be open). Failures of
// the device raise EInOutError. Does not own the device.
class TNativeFilterStream : public TSeekableStream {
public:
    explicit TNativeFilterStream(QIODevice* device);
    const char* ClassName() const override { return "TNativeFilterStream"; }
    size_t Write(const void* buffer, size_t count) override;
    size_t Read(void* buffer, size_t count) override;
    int64_t GetPosition() override { return device_->pos(); }
    int64_t GetSize() override { return device_->size(); }
    void Seek(int64_t position) override;
    void Truncate() override;
    int64_t Available() override;
    void Flush() override;

private:
    QIODevice* device_;
};

}  // namespace imagefile
