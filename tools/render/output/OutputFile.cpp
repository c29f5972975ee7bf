#include "OutputFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zelvan::render {
namespace {

// Large enough that an encoder's small writes reach the system in few calls.
constexpr std::size_t kBufferSize = 256 * 1024;

}  // namespace

WriteCause WriteCauseOf(int error) {
  switch (error) {
    case ENOSPC:
      return {"no space left on device", "free space or choose another --out"};
    case EDQUOT:
      return {"disk quota exceeded", "free space within your quota or choose another --out"};
    case EFBIG: {
      struct rlimit limit {};
      if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        return {"file too large: it passes this process's file-size limit of " + std::to_string(limit.rlim_cur) +
                    " bytes (ulimit -f)",
                "raise the limit (ulimit -f unlimited) or render smaller frames"};
      }
      return {"file too large for the file system", "choose an --out on another file system"};
    }
    case EIO:
      return {"input/output error on the device", "check the disk (the system log names the fault) or choose another --out"};
    case EROFS:
      return {"read-only file system", "choose another --out"};
    case EACCES:
    case EPERM:
      return {"permission denied", "make the folder writable or choose another --out"};
    default:
      return {std::strerror(error), "choose another --out"};
  }
}

WriteError::WriteError(const std::string& file, int error, const std::string& action)
    : std::runtime_error(file + ": " + action + ": " + WriteCauseOf(error).cause + ". Fix: " + WriteCauseOf(error).fix),
      error_(error) {}

OutputFile::OutputFile(const std::string& path, std::string shown) : shown_(std::move(shown)) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd_ < 0) throw WriteError(shown_, errno, "cannot be created");
  buffer_.resize(kBufferSize);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::WriteAll(const unsigned char* data, std::size_t size, uint64_t offset) noexcept {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write of nothing without an error cannot go on either.
      error_ = n < 0 ? errno : EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool OutputFile::Flush() noexcept {
  if (error_ != 0) return false;
  const std::size_t used = used_;
  used_ = 0;
  return used == 0 || WriteAll(buffer_.data(), used, buffer_at_);
}

std::size_t OutputFile::WriteAt(const void* data, std::size_t size, uint64_t offset) noexcept {
  if (error_ != 0 || fd_ < 0) return 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  // Contiguous writes gather in the buffer; anything else (a seek back to
  // fill in a table) first writes what is buffered, so that it lands on top.
  if (used_ > 0 && offset == buffer_at_ + used_ && used_ + size <= buffer_.size()) {
    std::memcpy(&buffer_[used_], bytes, size);
    used_ += size;
  } else {
    if (!Flush()) return 0;
    if (size >= buffer_.size()) {
      if (!WriteAll(bytes, size, offset)) return 0;
    } else {
      std::memcpy(buffer_.data(), bytes, size);
      used_ = size;
      buffer_at_ = offset;
    }
  }
  if (offset + size > end_) end_ = offset + size;
  return size;
}

std::size_t OutputFile::Write(const void* data, std::size_t size) noexcept {
  const std::size_t n = WriteAt(data, size, pos_);
  pos_ += n;
  return n;
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  Flush();
  // Some file systems report a lack of space only when the data goes out.
  if (error_ == 0 && ::fdatasync(fd_) != 0 && errno != EINVAL) error_ = errno;
  if (::close(fd_) != 0 && error_ == 0 && errno != EINTR) error_ = errno;
  fd_ = -1;
  if (error_ != 0) throw WriteError(shown_, error_);
}

}  // namespace zelvan::render
