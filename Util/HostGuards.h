// Scope guards for host resources. Each one gives back what it holds when it
// goes out of scope, so that every path out of a command, the exception a
// missing suite raises included, disposes what the command obtained.
//
// On the normal path a command calls Release(err) itself, in the order the host
// expects, and the result joins the command's first-error-wins record. The
// destructor is the safety net for the exceptional path; it ignores results.
// Each guard takes the suite that gives its resource back when it is made, so
// that suite is at hand on every way out.
#pragma once

#include "AEGP_SuiteHandler.h"

namespace zelvan {

// Runs a clean-up call where no exception may escape (a callback the host
// makes outside any command).
template <class CleanUp>
void Quietly(CleanUp clean_up) noexcept {
  try {
    clean_up();
  } catch (...) {
  }
}

// Records err only while no error has been recorded: the first error wins.
inline void Record(PF_Err& recorded, PF_Err err) {
  if (recorded == PF_Err_NONE) recorded = err;
}

// A host handle the command created and owns until it hands it to the host.
class OwnedHandle {
 public:
  OwnedHandle(const PF_HandleSuite2* suite, PF_Handle handle) : suite_(suite), handle_(handle) {}
  ~OwnedHandle() {
    if (handle_ != nullptr) suite_->host_dispose_handle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  PF_Handle get() const { return handle_; }
  // Ownership passes to whoever received the handle.
  PF_Handle Publish() {
    PF_Handle h = handle_;
    handle_ = nullptr;
    return h;
  }

 private:
  const PF_HandleSuite2* suite_;
  PF_Handle handle_;
};

// A lock on a host handle, undone when the scope ends.
class HandleLock {
 public:
  HandleLock(const PF_HandleSuite2* suite, PF_Handle handle)
      : suite_(suite), handle_(handle), data_(handle != nullptr ? suite->host_lock_handle(handle) : nullptr) {}
  ~HandleLock() {
    if (data_ != nullptr) suite_->host_unlock_handle(handle_);
  }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

  void* data() const { return data_; }

 private:
  const PF_HandleSuite2* suite_;
  PF_Handle handle_;
  void* data_;
};

// An effect reference from AEGP_GetNewEffectForEffect. The suite that disposes
// of it is acquired before the reference exists: were it missing afterwards,
// nothing could give the reference back.
class EffectRef {
 public:
  explicit EffectRef(AEGP_SuiteHandler& suites) : suite_(suites.EffectSuite2()) {}
  ~EffectRef() {
    if (ref_ != nullptr) (void)suite_->AEGP_DisposeEffect(ref_);
  }
  EffectRef(const EffectRef&) = delete;
  EffectRef& operator=(const EffectRef&) = delete;

  AEGP_EffectRefH* out() { return &ref_; }
  AEGP_EffectRefH get() const { return ref_; }
  void Release(PF_Err& err) {
    if (ref_ == nullptr) return;
    AEGP_EffectRefH ref = ref_;
    ref_ = nullptr;
    Record(err, suite_->AEGP_DisposeEffect(ref));
  }

 private:
  const AEGP_EffectSuite2* suite_;
  AEGP_EffectRefH ref_ = nullptr;
};

// A parameter stream from AEGP_GetNewEffectStreamByIndex.
class StreamRef {
 public:
  explicit StreamRef(AEGP_SuiteHandler& suites) : suite_(suites.StreamSuite9()) {}
  ~StreamRef() {
    if (ref_ != nullptr) (void)suite_->AEGP_DisposeStream(ref_);
  }
  StreamRef(const StreamRef&) = delete;
  StreamRef& operator=(const StreamRef&) = delete;

  AEGP_StreamRefH* out() { return &ref_; }
  AEGP_StreamRefH get() const { return ref_; }
  void Release(PF_Err& err) {
    if (ref_ == nullptr) return;
    AEGP_StreamRefH ref = ref_;
    ref_ = nullptr;
    Record(err, suite_->AEGP_DisposeStream(ref));
  }

 private:
  const AEGP_StreamSuite9* suite_;
  AEGP_StreamRefH ref_ = nullptr;
};

// A stream value from AEGP_GetNewStreamValue; held while its stream member is set.
class StreamValue {
 public:
  explicit StreamValue(AEGP_SuiteHandler& suites) : suite_(suites.StreamSuite9()), value_{} {}
  ~StreamValue() {
    if (value_.streamH != nullptr) (void)suite_->AEGP_DisposeStreamValue(&value_);
  }
  StreamValue(const StreamValue&) = delete;
  StreamValue& operator=(const StreamValue&) = delete;

  AEGP_StreamValue2* out() { return &value_; }
  const AEGP_StreamValue2& get() const { return value_; }
  void Release(PF_Err& err) {
    if (value_.streamH == nullptr) return;
    Record(err, suite_->AEGP_DisposeStreamValue(&value_));
    value_.streamH = nullptr;
  }

 private:
  const AEGP_StreamSuite9* suite_;
  AEGP_StreamValue2 value_;
};

// A parameter checked out with the interaction callbacks; checked in at scope end.
class ParamCheckout {
 public:
  ParamCheckout() : def_{} {}
  ~ParamCheckout() {
    if (checked_out_) (void)in_data_->inter.checkin_param(in_data_->effect_ref, &def_);
  }
  ParamCheckout(const ParamCheckout&) = delete;
  ParamCheckout& operator=(const ParamCheckout&) = delete;

  PF_Err Checkout(const PF_InData* in_data, PF_ParamIndex index, A_long time, A_long time_step,
                  A_u_long time_scale) {
    in_data_ = in_data;
    const PF_Err err = in_data_->inter.checkout_param(in_data_->effect_ref, index, time, time_step, time_scale, &def_);
    checked_out_ = err == PF_Err_NONE;
    return err;
  }
  PF_ParamDef& def() { return def_; }
  const PF_ParamDef& def() const { return def_; }
  bool checked_out() const { return checked_out_; }
  void Release(PF_Err& err) {
    if (!checked_out_) return;
    checked_out_ = false;
    Record(err, in_data_->inter.checkin_param(in_data_->effect_ref, &def_));
  }

 private:
  const PF_InData* in_data_ = nullptr;
  PF_ParamDef def_;
  bool checked_out_ = false;
};

}  // namespace zelvan
