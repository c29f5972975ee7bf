// A file of the output, every byte of it checked: a short or failed write, a
// failed flush or close is an error that names the file as the user will see
// it (not the staging path it is written to), its cause and a fix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelvan::render {

// The cause of a system error met writing into the output folder, and its fix.
struct WriteCause {
  std::string cause;
  std::string fix;
};
WriteCause WriteCauseOf(int error);

// A write that failed: "FILE: cannot be written: CAUSE. Fix: FIX".
class WriteError : public std::runtime_error {
 public:
  WriteError(const std::string& file, int error, const std::string& action = "cannot be written");
  int error() const { return error_; }

 private:
  int error_;
};

class OutputFile {
 public:
  // Creates or truncates `path`, mode 0666 less the umask; `shown` names it in
  // errors. Throws WriteError.
  OutputFile(const std::string& path, std::string shown);
  // Closes without reporting: a run that drops a file is failing already.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Buffered writes after the previous one, or at an offset. After the first
  // failure nothing more is written and they return 0; Close() reports it.
  // Neither throws, so that they may run inside an encoder's C callbacks.
  std::size_t Write(const void* data, std::size_t size) noexcept;
  std::size_t WriteAt(const void* data, std::size_t size, uint64_t offset) noexcept;
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  bool failed() const { return error_ != 0; }
  uint64_t size() const { return end_; }
  const std::string& shown() const { return shown_; }

  // Hands what is buffered to the system, so that the file read through
  // another descriptor holds it; false after a failure (Close() reports it).
  bool Flush() noexcept;
  // Writes what is buffered, waits until the data is on the device and
  // closes; throws WriteError for the first failure.
  void Close();

 private:
  bool WriteAll(const unsigned char* data, std::size_t size, uint64_t offset) noexcept;

  int fd_ = -1;
  std::string shown_;
  std::vector<unsigned char> buffer_;
  std::size_t used_ = 0;
  uint64_t buffer_at_ = 0;  // the file offset of buffer_[0]
  uint64_t pos_ = 0;        // where Write() goes on
  uint64_t end_ = 0;
  int error_ = 0;           // the first failure's errno
};

}  // namespace zelvan::render
