#include "imagefile/NativeStream.h"

#include <QFileDevice>
#include <QBuffer>
#include <vector>

namespace imagefile {

// ---- TNativeStream ----

TNativeStream::TNativeStream(TBaseStream* stream) : stream_(stream) {
    stream_->SetExactIO(false);
    OpenMode mode = NotOpen;
    if (stream_->CanRead) mode |= ReadOnly;
    if (stream_->CanWrite) mode |= WriteOnly;
    QIODevice::open(mode | Unbuffered);
}

bool TNativeStream::seek(qint64) {
    setErrorString(QStringLiteral("Seeking not supported"));
    return false;
}

qint64 TNativeStream::readData(char* data, qint64 maxSize) {
    try {
        return static_cast<qint64>(stream_->Read(data, static_cast<size_t>(maxSize)));
    } catch (const std::exception& e) {
        setErrorString(QString::fromLocal8Bit(e.what()));
        return -1;
    }
}

qint64 TNativeStream::writeData(const char* data, qint64 maxSize) {
    try {
        return static_cast<qint64>(stream_->Write(data, static_cast<size_t>(maxSize)));
    } catch (const std::exception& e) {
        setErrorString(QString::fromLocal8Bit(e.what()));
        return -1;
    }
}

// ---- TSeekableNativeStream ----

TSeekableNativeStream::TSeekableNativeStream(TSeekableStream* stream) : TNativeStream(stream), seekable_(stream) {}

qint64 TSeekableNativeStream::size() const {
    try {
        return seekable_->GetSize();
    } catch (const std::exception&) {
        return -1;
    }
}

bool TSeekableNativeStream::seek(qint64 pos) {
    try {
        seekable_->Seek(pos);
    } catch (const std::exception& e) {
        setErrorString(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return QIODevice::seek(pos);
}

qint64 TSeekableNativeStream::Seek(qint64 offset, int origin) {
    qint64 target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = seekable_->GetPosition() + offset; break;
        case 2: target = seekable_->GetSize() + offset; break;
        default: throw EStreamError("Unknown seek origin");
    }
    seekable_->Seek(target);
    QIODevice::seek(target);
    return seekable_->GetPosition();
}

void TSeekableNativeStream::SetSize(qint64 newSize) {
    const int64_t pos = seekable_->GetPosition();
    const int64_t size = seekable_->GetSize();
    if (newSize > size) {
        seekable_->Seek(size);
        const std::vector<char> zeros(65536, 0);
        for (int64_t left = newSize - size; left > 0;) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(left, 65536));
            if (seekable_->Write(zeros.data(), n) != n) throw EInOutError(kReadLessThanExpected);
            left -= static_cast<int64_t>(n);
        }
        seekable_->Seek(pos);
    } else if (newSize < size) {
        seekable_->Seek(newSize);
        seekable_->Truncate();
        if (pos < newSize) seekable_->Seek(pos);
    }
    QIODevice::seek(seekable_->GetPosition());
}

// ---- TNativeFilterStream ----

TNativeFilterStream::TNativeFilterStream(QIODevice* device) : device_(device) {
    CanRead = device->isReadable();
    CanWrite = device->isWritable();
}

size_t TNativeFilterStream::Write(const void* buffer, size_t count) {
    const qint64 n = device_->write(static_cast<const char*>(buffer), static_cast<qint64>(count));
    if (n < 0) throw EInOutError("Error writing to stream - " + device_->errorString().toStdString());
    CheckCount(static_cast<size_t>(n), count);
    return static_cast<size_t>(n);
}

size_t TNativeFilterStream::Read(void* buffer, size_t count) {
    const qint64 n = device_->read(static_cast<char*>(buffer), static_cast<qint64>(count));
    if (n < 0) throw EInOutError("Error reading from stream - " + device_->errorString().toStdString());
    CheckCount(static_cast<size_t>(n), count);
    return static_cast<size_t>(n);
}

void TNativeFilterStream::Seek(int64_t position) {
    if (!device_->seek(position)) throw EInOutError("Error moving file pointer - " + device_->errorString().toStdString());
}

void TNativeFilterStream::Truncate() {
    const qint64 pos = device_->pos();
    if (auto* file = qobject_cast<QFileDevice*>(device_)) {
        if (!file->resize(pos))
            throw EInOutError("Error truncating file \"" + file->fileName().toStdString() + "\" - " +
                              file->errorString().toStdString());
        return;
    }
    if (auto* buffer = qobject_cast<QBuffer*>(device_)) {
        buffer->buffer().truncate(static_cast<int>(pos));
        return;
    }
    throw EInOutError("Error truncating file \"\" - not supported by this device");
}

int64_t TNativeFilterStream::Available() { return device_->size() - device_->pos(); }

void TNativeFilterStream::Flush() {
    if (auto* file = qobject_cast<QFileDevice*>(device_)) file->flush();
}

}  // namespace imagefile
