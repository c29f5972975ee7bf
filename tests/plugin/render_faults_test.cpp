// Smart render when the host fails: each call of the render in turn, clean-ups
// included, each suite refused mid-render, the record that cannot be locked,
// and allocations failing on either side of the plug-in's boundary. The first
// error wins, later calls are skipped, clean-ups still run, the output stays
// unwritten unless the copy already ran, and nothing is left behind.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "CurrentHost.h"
#include "Params.h"
#include "PluginSession.h"

namespace {

// Allocations made while the plug-in runs can be made to fail on one side of
// its boundary: the host's (any code outside the loaded module, the host
// functions and all they call) or the plug-in's own (the module's operator
// new is this one too). The side is told by where operator new was called from.
enum class Side { kNone, kHost, kPlugin };
std::atomic<Side> g_fail_side{Side::kNone};
const void* g_plugin_base = nullptr;
int g_fail_at = 0;  // 1-based, among the allocations on that side
int g_seen = 0;
bool g_throw_other = false;  // something other than std::bad_alloc

class FailingAllocation {
 public:
  FailingAllocation(const zelvan::testhost::Host& host, Side side, int nth, bool other = false) {
    Dl_info info{};
    g_plugin_base = dladdr(reinterpret_cast<const void*>(host.module().entry_point()), &info) != 0
                        ? info.dli_fbase
                        : nullptr;
    g_fail_at = nth;
    g_seen = 0;
    g_throw_other = other;
    g_fail_side = side;
  }
  ~FailingAllocation() { g_fail_side = Side::kNone; }
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;
  bool fired() const { return g_seen >= g_fail_at; }
};

[[gnu::noinline]] void* Allocate(std::size_t size, const void* caller) {
  const Side side = g_fail_side.load();
  if (side != Side::kNone && zelvan::testhost::PluginRunning()) {
    Dl_info info{};
    const bool from_plugin = dladdr(caller, &info) != 0 && info.dli_fbase == g_plugin_base;
    if (from_plugin == (side == Side::kPlugin) && ++g_seen == g_fail_at) {
      // Not what an allocation function may throw, but the one way to put an
      // exception of another kind inside the plug-in's handler.
      if (g_throw_other) throw std::runtime_error("not a memory failure");
      throw std::bad_alloc();
    }
  }
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

void Release(void* p) noexcept { std::free(p); }

}  // namespace

void* operator new(std::size_t size) { return Allocate(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return Allocate(size, __builtin_return_address(0)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, __builtin_return_address(0));
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, __builtin_return_address(0));
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

using zelvan::testhost::FrameRequest;
using zelvan::testhost::PluginSession;
using zelvan::testhost::Resource;
using zelvan::testhost::TraceEntry;

constexpr AEGP_LayerIDVal kSource = 7;

// The render's host calls with a layer chosen that has pixels at the looped
// time, in their order; suite and handle traffic left out.
const std::vector<std::string> kChain = {
    "checkout_layer_pixels",          // 0
    "checkout_output",                // 1
    "AEGP_GetEffectLayer",            // 2
    "AEGP_GetLayerParentComp",        // 3
    "AEGP_GetCompFramerate",          // 4
    "AEGP_GetNewEffectForEffect",     // 5
    "AEGP_GetNewEffectStreamByIndex", // 6
    "AEGP_GetNewStreamValue",         // 7
    "AEGP_GetLayerFromLayerID",       // 8
    "AEGP_GetLayerInPoint",           // 9
    "AEGP_GetLayerDuration",          // 10
    "AEGP_DisposeStreamValue",        // 11
    "AEGP_DisposeStream",             // 12
    "AEGP_DisposeEffect",             // 13
    "fmod",                           // 14
    "AEGP_ConvertCompToLayerTime",    // 15
    "checkout_param",                 // 16
    "copy",                           // 17
    "checkin_param",                  // 18
};

std::vector<std::string> ChainUpTo(std::size_t last) {
  return {kChain.begin(), kChain.begin() + static_cast<std::ptrdiff_t>(last + 1)};
}

class RenderFaultTest : public PluginSession {
 protected:
  void SetUp() override {
    PluginSession::SetUp();
    host().comp().effect_layer().width = 64;
    host().comp().effect_layer().height = 36;
    zelvan::testhost::Layer source;
    source.id = kSource;
    source.width = 96;
    source.height = 54;
    host().comp().AddLayer(source);
    host().params().SetValue(zelvan::kParamLayer, kSource);
    host().params().SetValue(zelvan::kParamTime, 90);
    host().params().SetValue(zelvan::kParamMode, zelvan::kModeWhole);
  }

  // Pre-renders cleanly, so that faults set afterwards count from the render.
  void PreRender() { ASSERT_EQ(host().frames().PreRender(FrameRequest{}), PF_Err_NONE); }

  std::vector<std::string> RenderCalls() {
    std::vector<std::string> out;
    for (const TraceEntry& e : host().trace().entries()) {
      if (e.command != host().last_command()) continue;
      if (e.function == "AcquireSuite" || e.function == "ReleaseSuite" || e.function.rfind("host_", 0) == 0) continue;
      out.push_back(e.function);
    }
    return out;
  }

  void ExpectNothingOpenOf(std::initializer_list<Resource> kinds) {
    for (Resource r : kinds) EXPECT_EQ(host().accounts().OpenCount(r), 0) << zelvan::testhost::ResourceName(r);
  }
  void ExpectNothingOpen() {
    ExpectNothingOpenOf({Resource::EffectRef, Resource::Stream, Resource::StreamValue, Resource::ParamCheckout});
    // The global record stays until set-down, when the fixture checks the rest.
    EXPECT_EQ(host().accounts().handles().live(), 1u) << "the frame's record is released";
  }
};

TEST_F(RenderFaultTest, CleanRenderMakesTheWholeChain) {
  PreRender();
  ASSERT_EQ(host().frames().Render(), PF_Err_NONE);
  EXPECT_EQ(RenderCalls(), kChain);
  EXPECT_TRUE(host().frames().last_output_written());
  ExpectNothingOpen();
}

struct CallFaultCase {
  const char* name;
  const char* function;
  const char* args;  // only calls whose arguments hold this text
  std::vector<std::string> calls;
  bool written;
};

// What a fault leaves of the chain: everything up to the failing call, then
// the disposals of what exists.
std::vector<std::string> FailedAt(std::size_t failing) {
  std::vector<std::string> calls = ChainUpTo(failing);
  if (failing > 7) calls.push_back(kChain[11]);
  if (failing > 6) calls.push_back(kChain[12]);
  if (failing > 5) calls.push_back(kChain[13]);
  return calls;
}

const CallFaultCase kCallFaults[] = {
    {"CheckoutLayerPixels", "checkout_layer_pixels", "", FailedAt(0), false},
    {"CheckoutOutput", "checkout_output", "", FailedAt(1), false},
    {"GetEffectLayer", "AEGP_GetEffectLayer", "", FailedAt(2), false},
    {"GetLayerParentComp", "AEGP_GetLayerParentComp", "", FailedAt(3), false},
    {"GetCompFramerate", "AEGP_GetCompFramerate", "", FailedAt(4), false},
    {"GetNewEffectForEffect", "AEGP_GetNewEffectForEffect", "", FailedAt(5), false},
    {"GetNewEffectStreamByIndex", "AEGP_GetNewEffectStreamByIndex", "", FailedAt(6), false},
    {"GetNewStreamValue", "AEGP_GetNewStreamValue", "", FailedAt(7), false},
    {"GetLayerFromLayerID", "AEGP_GetLayerFromLayerID", "", FailedAt(8), false},
    {"GetLayerInPoint", "AEGP_GetLayerInPoint", "", FailedAt(9), false},
    {"GetLayerDuration", "AEGP_GetLayerDuration", "", FailedAt(10), false},
    // A failing disposal still gives its object back, and the next ones run.
    {"DisposeStreamValue", "AEGP_DisposeStreamValue", "", ChainUpTo(13), false},
    {"DisposeStream", "AEGP_DisposeStream", "", ChainUpTo(13), false},
    {"DisposeEffect", "AEGP_DisposeEffect", "", ChainUpTo(13), false},
    {"ConvertCompToLayerTime", "AEGP_ConvertCompToLayerTime", "", ChainUpTo(15), false},
    {"CheckoutLayerParam", "checkout_param", "index=2", ChainUpTo(16), false},
    {"Copy", "copy", "", ChainUpTo(18), false},
    // After the copy: its pixels stay, and the code is still returned.
    {"CheckinParam", "checkin_param", "", ChainUpTo(18), true},
};

class CallFaultTest : public RenderFaultTest, public ::testing::WithParamInterface<CallFaultCase> {};

TEST_P(CallFaultTest, FirstErrorIsReturnedAndCleanUpsRun) {
  const CallFaultCase& c = GetParam();
  PreRender();
  constexpr A_Err kCode = 0x6A1;
  host().faults().FailCall(c.function, 1, kCode, c.args);
  EXPECT_EQ(host().frames().Render(), kCode);
  EXPECT_EQ(RenderCalls(), c.calls);
  EXPECT_EQ(host().frames().last_output_written(), c.written);
  ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(EachCall, CallFaultTest, ::testing::ValuesIn(kCallFaults),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(RenderFaultTest, EachCallFailingInTurnReturnsItsOwnCode) {
  // One session, every call failing once with a code of its own: the code
  // that comes back names the call that failed.
  for (std::size_t i = 0; i < kChain.size(); ++i) {
    if (kChain[i] == "fmod") continue;  // answers a number, not a code
    SCOPED_TRACE(kChain[i]);
    PreRender();
    host().faults().Clear();
    const A_Err code = static_cast<A_Err>(0x700 + i);
    host().faults().FailCall(kChain[i], 1, code);
    EXPECT_EQ(host().frames().Render(), code);
    EXPECT_EQ(host().frames().last_output_written(), kChain[i] == "checkin_param");
    ExpectNothingOpen();
  }
  host().faults().Clear();
  ExpectNothingOpen();
}

TEST_F(RenderFaultTest, LaterErrorsDoNotReplaceTheFirst) {
  PreRender();
  host().faults().FailCall("AEGP_GetLayerInPoint", 1, 0x111);
  host().faults().FailCall("AEGP_DisposeStreamValue", 1, 0x222);
  host().faults().FailCall("AEGP_DisposeStream", 1, 0x333);
  host().faults().FailCall("AEGP_DisposeEffect", 1, 0x444);
  EXPECT_EQ(host().frames().Render(), 0x111);
  EXPECT_EQ(RenderCalls(), FailedAt(9));
  EXPECT_FALSE(host().frames().last_output_written());
  ExpectNothingOpen();
}

TEST_F(RenderFaultTest, FailingCopyWinsOverFailingCheckin) {
  PreRender();
  host().faults().FailCall("copy", 1, 0x555);
  host().faults().FailCall("checkin_param", 1, 0x666);
  EXPECT_EQ(host().frames().Render(), 0x555);
  EXPECT_EQ(RenderCalls(), kChain);
  EXPECT_FALSE(host().frames().last_output_written());
  ExpectNothingOpen();
}

TEST_F(RenderFaultTest, FailingFrameRateQueryLeavesTheOutputUnwritten) {
  PreRender();
  host().faults().FailCall("AEGP_GetCompFramerate", 1, 0x1F);
  EXPECT_EQ(host().frames().Render(), 0x1F);
  EXPECT_FALSE(host().frames().last_output_written());
  EXPECT_TRUE(host().frames().last_output_checked_out());
  for (const char* skipped : {"AEGP_GetNewEffectForEffect", "AEGP_GetLayerDuration", "checkout_param", "copy"}) {
    EXPECT_TRUE(CommandLinesOf(skipped).empty()) << skipped;
  }
  ExpectNothingOpen();
}

TEST_F(RenderFaultTest, FailingCallWithoutALayerSkipsTheCopy) {
  host().params().SetValue(zelvan::kParamLayer, 0);
  PreRender();
  host().faults().FailCall("AEGP_DisposeStream", 1, 0x77);
  EXPECT_EQ(host().frames().Render(), 0x77);
  std::vector<std::string> expected = ChainUpTo(7);
  expected.insert(expected.end(), kChain.begin() + 11, kChain.begin() + 14);
  EXPECT_EQ(RenderCalls(), expected) << "no lookups of a layer, and no copy of the input";
  EXPECT_FALSE(host().frames().last_output_written());
  ExpectNothingOpen();
}

TEST_F(RenderFaultTest, UnlockableRecordEndsTheRenderAtOnce) {
  PreRender();
  host().faults().FailLockHandle();
  EXPECT_EQ(host().frames().Render(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host().trace().LinesOfCommand(host().last_command()),
            (std::vector<std::string>{"AcquireSuite PF Handle Suite 2", "host_lock_handle #2",
                                      "ReleaseSuite PF Handle Suite 2"}));
  // The host's release of the record, after the render and outside it.
  EXPECT_EQ(host().trace().Lines(host().trace().size() - 3),
            (std::vector<std::string>{"AcquireSuite PF Handle Suite 2", "host_dispose_handle #2",
                                      "ReleaseSuite PF Handle Suite 2"}));
  EXPECT_EQ(host().trace().entries().back().command, 0);
  EXPECT_FALSE(host().frames().last_output_checked_out());
  EXPECT_FALSE(host().frames().last_output_written());
  host().faults().Clear();
  ExpectNothingOpen();
}

// The host's own work failing inside a call the plug-in makes: the layer's
// frame source throws while the host renders the chosen layer for
// checkout_param. The plug-in sees an error code, never the exception, and the
// host keeps the cause.
struct SourceFailureCase {
  const char* name;
  void (*fail)();
  A_Err code;
  const char* cause;
};

const SourceFailureCase kSourceFailures[] = {
    {"DecoderError", [] { throw std::runtime_error("frame 3 of clip.mp4 does not decode"); },
     PF_Err_INTERNAL_STRUCT_DAMAGED, "frame 3 of clip.mp4 does not decode"},
    {"OutOfMemory", [] { throw std::bad_alloc(); }, PF_Err_OUT_OF_MEMORY, "out of memory"},
    {"NotAnException", [] { throw 42; }, PF_Err_INTERNAL_STRUCT_DAMAGED, "unknown exception"},
};

class SourceFailureTest : public RenderFaultTest, public ::testing::WithParamInterface<SourceFailureCase> {};

TEST_P(SourceFailureTest, BecomesTheCallsCodeAndIsRecorded) {
  const SourceFailureCase& c = GetParam();
  host().comp().Find(kSource)->source = [fail = c.fail](PF_EffectWorld&, A_long) { fail(); };
  PreRender();
  EXPECT_EQ(host().frames().Render(), c.code);
  EXPECT_EQ(RenderCalls(), ChainUpTo(16));
  EXPECT_FALSE(host().frames().last_output_written());
  ASSERT_EQ(host().callback_failures().size(), 1u);
  EXPECT_EQ(host().callback_failures()[0].function, "checkout_param");
  EXPECT_EQ(host().callback_failures()[0].cause, c.cause);
  EXPECT_EQ(host().callback_failures()[0].command, host().last_command());
  ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(EachKind, SourceFailureTest, ::testing::ValuesIn(kSourceFailures),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(RenderFaultTest, AnyAllocationFailingInsideAHostCallBecomesACode) {
  // Each allocation the host makes while it serves the render, the formatting
  // of the traced arguments and the release of the record after the render
  // included, fails in turn. Every host function is noexcept: an exception
  // that escaped one would end the process here.
  int failed = 0;
  for (int nth = 1;; ++nth) {
    PreRender();
    const std::size_t recorded = host().callback_failures().size();
    const std::size_t mark = host().trace().size();
    PF_Err err = PF_Err_NONE;
    bool fired = false;
    {
      FailingAllocation fail(host(), Side::kHost, nth);
      err = host().frames().Render();
      fired = fail.fired();
    }
    if (!fired) {
      EXPECT_EQ(err, PF_Err_NONE) << "with nothing failing";
      break;
    }
    ++failed;
    SCOPED_TRACE("allocation " + std::to_string(nth));
    // 4 from the failing call, 516 when it was a suite the effect asked for,
    // 0 when the effect ignores the call's result.
    EXPECT_TRUE(err == PF_Err_NONE || err == PF_Err_OUT_OF_MEMORY || err == PF_Err_BAD_CALLBACK_PARAM) << err;
    // The effect heard it as a call's answer (a recorded failure, or a call
    // that answered 4 itself), not as an exception through its frames.
    bool answered = host().callback_failures().size() > recorded;
    for (std::size_t i = mark; i < host().trace().size(); ++i) {
      answered = answered || host().trace().entries()[i].result == PF_Err_OUT_OF_MEMORY;
    }
    if (err != PF_Err_NONE) {
      EXPECT_TRUE(answered) << host().trace().Dump(mark);
    }
    // Recorded, unless the host coped itself (the copy answers 4 for its own
    // buffers; a block that cannot move stays where it is).
    ASSERT_LE(host().callback_failures().size(), recorded + 1);
    if (host().callback_failures().size() > recorded) {
      EXPECT_EQ(host().callback_failures().back().cause, "out of memory");
    }
    // Nothing half-made: every object the effect was told it got, it gave back.
    EXPECT_TRUE(host().accounts().violations().empty()) << host().accounts().Imbalance();
    ExpectNothingOpenOf({Resource::EffectRef, Resource::Stream, Resource::StreamValue, Resource::ParamCheckout,
                         Resource::LayerPixels});
  }
  EXPECT_GT(failed, 40) << "the render's host calls allocate";
  // The one thing that can stay: a record whose release could not acquire
  // the handle suite, which only the host can then free.
  SkipBalanceCheck();
}

// The plug-in's own code failing inside a handler: out of memory is 4,
// anything else 512, and nothing is left behind.
struct PluginFailureCase {
  const char* name;
  bool other_exception;
  A_Err code;
};

const PluginFailureCase kPluginFailures[] = {
    {"OutOfMemory", false, PF_Err_OUT_OF_MEMORY},
    {"OtherException", true, PF_Err_INTERNAL_STRUCT_DAMAGED},
};

class PluginFailureTest : public RenderFaultTest, public ::testing::WithParamInterface<PluginFailureCase> {};

TEST_P(PluginFailureTest, HandlerReturnsTheCodeAndGivesEverythingBack) {
  PreRender();
  PF_Err err = PF_Err_NONE;
  {
    FailingAllocation fail(host(), Side::kPlugin, 1, GetParam().other_exception);
    err = host().frames().Render();
    ASSERT_TRUE(fail.fired()) << "the render allocates its easing object";
  }
  EXPECT_EQ(err, GetParam().code);
  EXPECT_FALSE(host().frames().last_output_written());
  EXPECT_EQ(host().trace().Count("host_lock_handle"), host().trace().Count("host_unlock_handle"));
  ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(EachKind, PluginFailureTest, ::testing::ValuesIn(kPluginFailures),
                         [](const auto& p) { return std::string(p.param.name); });

struct SuiteFaultCase {
  const char* name;
  const char* suite;
  A_long version;
  bool null_pointer;  // acquired with success but no table
  std::size_t last_call;  // index in kChain of the last call made
};

const SuiteFaultCase kSuiteFaults[] = {
    {"PFInterface", "AEGP PF Interface Suite", 1, false, 1},
    {"Layer", "AEGP Layer Suite", 13, false, 2},
    {"Comp", "AEGP Comp Suite", 15, false, 3},
    {"Effect", "AEGP Effect Suite", 2, false, 4},
    {"Stream", "AEGP Stream Suite", 9, false, 4},
    {"PFInterfaceNull", "AEGP PF Interface Suite", 1, true, 1},
    {"LayerNull", "AEGP Layer Suite", 13, true, 2},
    {"CompNull", "AEGP Comp Suite", 15, true, 3},
    {"EffectNull", "AEGP Effect Suite", 2, true, 4},
    {"StreamNull", "AEGP Stream Suite", 9, true, 4},
};

class SuiteFaultTest : public RenderFaultTest, public ::testing::WithParamInterface<SuiteFaultCase> {};

TEST_P(SuiteFaultTest, RefusedSuiteIs516AndLeavesNothingBehind) {
  const SuiteFaultCase& c = GetParam();
  PreRender();
  if (c.null_pointer) {
    host().faults().NullSuite(c.suite, c.version, 1);
  } else {
    host().faults().RefuseSuite(c.suite, c.version, 0x99, 1);
  }
  EXPECT_EQ(host().frames().Render(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(RenderCalls(), ChainUpTo(c.last_call));
  EXPECT_FALSE(host().frames().last_output_written());
  // The record's lock is undone on the way out too.
  EXPECT_EQ(host().trace().Count("host_lock_handle"), host().trace().Count("host_unlock_handle"));
  host().faults().Clear();
  ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(EachSuite, SuiteFaultTest, ::testing::ValuesIn(kSuiteFaults),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
