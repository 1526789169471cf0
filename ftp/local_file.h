#pragma once
// Local files of transfers: large chunks go straight to the system, small
// ones are gathered into one buffer so that a 2048-byte receive size still
// writes the disk in big blocks. Errors raise EIdLocalFileError.
#include <cstdint>
#include <string>
#include <vector>

class LocalFile {
public:
    // CreateNew fails when the file exists; OpenExisting writes from the
    // start of an existing file without emptying it (see Truncate).
    enum Mode { ReadOnly, CreateTruncate, Append, CreateNew, OpenExisting };
    LocalFile(const std::string& path, Mode mode);  // raises when it cannot open
    ~LocalFile();                                    // flushes what is buffered, errors ignored
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    void Write(const char* data, std::size_t len);
    // Up to len bytes; 0 only at the end.
    std::size_t Read(char* buf, std::size_t len);
    std::int64_t Size() const;
    std::int64_t Position() const;
    void Rewind();
    // Writes out what is buffered and closes; raises when that fails.
    void Close();
    // Empties a regular file opened for writing (devices stay as they are).
    void Truncate();
    // Closes without writing anything out and removes the file.
    void Discard();

private:
    std::string path_;
    int fd_ = -1;
    std::vector<char> buf_;
    std::size_t used_ = 0;  // write: bytes waiting; read: bytes buffered
    std::size_t pos_ = 0;   // read: next buffered byte
    std::int64_t filePos_ = 0;
    bool writing_ = false;

    void flush();
    void writeAll(const char* data, std::size_t len);
};
