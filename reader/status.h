// The outcome of reading a workbook or one of its containers: a code a caller acts on and
// a detail for logs (which part, record or offset). Every boundary of the reader reports
// in this form; a failure never crosses one as an exception, a bool or an empty value.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace gridwell {

enum class StatusCode {
  Ok,
  Unreadable,     // not a workbook we can read, damaged beyond use, or over a read limit
  NeedPassword,   // encrypted and no password (nor the default one) opens it
  WrongPassword,  // encrypted and the given password does not open it
  OutOfMemory,    // memory ran out while reading
};

class Status {
 public:
  Status() = default;  // Ok
  Status(StatusCode code, std::string detail) : code_(code), detail_(std::move(detail)) {}
  static Status Unreadable(std::string detail) {
    return Status(StatusCode::Unreadable, std::move(detail));
  }
  // Its detail is short enough to need no memory of its own.
  static Status OutOfMemory() noexcept { return Status(StatusCode::OutOfMemory); }

  bool Ok() const { return code_ == StatusCode::Ok; }
  StatusCode Code() const { return code_; }
  const std::string& Detail() const { return detail_; }  // "" when Ok
  bool IsPasswordFailure() const {
    return code_ == StatusCode::NeedPassword || code_ == StatusCode::WrongPassword;
  }

 private:
  explicit Status(StatusCode code) noexcept : code_(code), detail_("out of memory") {}
  StatusCode code_ = StatusCode::Ok;
  std::string detail_;
};

// Runs `read`, a step that reports through a Status (or a type made from one), at a
// boundary that must not throw: memory running out becomes the OutOfMemory status.
template <class Read>
auto GuardMemory(Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {  // a size past what a container can hold
  }
  return decltype(read()){Status::OutOfMemory()};
}

}  // namespace gridwell
