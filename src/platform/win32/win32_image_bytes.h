#pragma once
// Bytes of a loaded image, read from the file the image was mapped from.
#include <windows.h>

#include <cstddef>

namespace platform::win32 {

// Reads the bytes [data, data + size) of a loaded image from the image's own
// file, through a handle that the system confirms is that very file: the name
// the image was started under may lead to another file by now, so a file
// found by name alone is never trusted. The file of a loaded image cannot be
// written while it is loaded, and the pages of the image not touched yet come
// from it anyway, so its bytes are those of the mapping. Not ready where the
// file cannot be shown to be the image's, or where the bytes in memory may
// differ from the file's (outside the part of a section that comes from the
// file, or changed by relocations).
class ImageBytesReader {
public:
    ImageBytesReader(const void* data, std::size_t size);
    ~ImageBytesReader();
    ImageBytesReader(const ImageBytesReader&) = delete;
    ImageBytesReader& operator=(const ImageBytesReader&) = delete;

    bool ready() const { return file_ != INVALID_HANDLE_VALUE; }
    // The next `size` bytes into `buffer`; false when not all could be read.
    bool read(void* buffer, DWORD size);

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace platform::win32
