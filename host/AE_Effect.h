// The host's effect interface: commands, flags, error codes, pixel worlds,
// parameter definitions and the in-data and out-data blocks.
#pragma once

#include "A.h"
#include "SPBasic.h"

typedef A_long PF_Err;
typedef A_long PF_Fixed;  // 16.16 fixed point
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_Cmd;
typedef void* PF_ProgPtr;  // the host's opaque reference to one effect instance
typedef void** PF_Handle;
typedef A_u_char PF_Boolean;
typedef A_long PF_Field;
typedef A_long PF_ChannelMask;

// Error codes.
enum : PF_Err {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,
  PF_Interrupt_CANCEL = 517,
};

// Command selectors.
enum : PF_Cmd {
  PF_Cmd_ABOUT = 0,
  PF_Cmd_GLOBAL_SETUP = 1,
  PF_Cmd_UNUSED_0 = 2,
  PF_Cmd_GLOBAL_SETDOWN = 3,
  PF_Cmd_PARAMS_SETUP = 4,
  PF_Cmd_SEQUENCE_SETUP = 5,
  PF_Cmd_SEQUENCE_RESETUP = 6,
  PF_Cmd_SEQUENCE_FLATTEN = 7,
  PF_Cmd_SEQUENCE_SETDOWN = 8,
  PF_Cmd_DO_DIALOG = 9,
  PF_Cmd_FRAME_SETUP = 10,
  PF_Cmd_RENDER = 11,
  PF_Cmd_FRAME_SETDOWN = 12,
  PF_Cmd_USER_CHANGED_PARAM = 13,
  PF_Cmd_UPDATE_PARAMS_UI = 14,
  PF_Cmd_EVENT = 15,
  PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
  PF_Cmd_COMPLETELY_GENERAL = 17,
  PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
  PF_Cmd_AUDIO_RENDER = 19,
  PF_Cmd_AUDIO_SETUP = 20,
  PF_Cmd_AUDIO_SETDOWN = 21,
  PF_Cmd_ARBITRARY_CALLBACK = 22,
  PF_Cmd_SMART_PRE_RENDER = 23,
  PF_Cmd_SMART_RENDER = 24,
};

// Global flags an effect reports in out-data out_flags.
enum : A_long {
  PF_OutFlag_NONE = 0,
  PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,
  PF_OutFlag_REFRESH_UI = 1L << 17,
  PF_OutFlag_DEEP_COLOR_AWARE = 1L << 25,
  PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1L << 26,
};

// Global flags an effect reports in out-data out_flags2.
enum : A_long {
  PF_OutFlag2_NONE = 0,
  PF_OutFlag2_SUPPORTS_SMART_RENDER = 1L << 10,
  PF_OutFlag2_FLOAT_COLOR_AWARE = 1L << 12,
};

// A rectangle; right and bottom are exclusive.
struct PF_LRect {
  A_long left, top, right, bottom;
};
typedef PF_LRect PF_Rect;

struct PF_RationalScale {
  A_long num;
  A_u_long den;
};

// World flags.
enum : A_long {
  PF_WorldFlag_DEEP = 1L << 0,       // 16 bits per channel
  PF_WorldFlag_WRITEABLE = 1L << 1,
  PF_WorldFlag_FLOAT = 1L << 2,      // 32-bit float per channel
};

typedef void* PF_PixelPtr;

// Pixels are ARGB in memory at every depth. 16-bit channels run 0 to 32768.
struct PF_Pixel8 {
  A_u_char alpha, red, green, blue;
};
struct PF_Pixel16 {
  A_u_short alpha, red, green, blue;
};
struct PF_PixelFloat {
  A_FpShort alpha, red, green, blue;
};
enum : A_long { PF_MAX_CHAN8 = 255, PF_MAX_CHAN16 = 32768 };

// A pixel world: ARGB pixels, rowbytes apart; data null means no pixels.
struct PF_EffectWorld {
  A_long reserved0;
  A_long world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_LRect extent_hint;
  void* platform_ref;
  PF_RationalScale pix_aspect_ratio;
  A_long origin_x;
  A_long origin_y;
  A_long dephault;  // layer parameter default: 0 is no layer
};
typedef PF_EffectWorld PF_LayerDef;

// Parameter types.
enum : A_long {
  PF_Param_LAYER = 0,
  PF_Param_SLIDER = 1,
  PF_Param_FIX_SLIDER = 2,
  PF_Param_ANGLE = 3,
  PF_Param_CHECKBOX = 4,
  PF_Param_COLOR = 5,
  PF_Param_POINT = 6,
  PF_Param_POPUP = 7,
  PF_Param_FLOAT_SLIDER = 10,
};
typedef A_long PF_ParamType;

// Parameter flags.
enum : A_long {
  PF_ParamFlag_START_COLLAPSED = 1L << 5,
};
typedef A_long PF_ParamFlags;

enum : A_short {
  PF_ValueDisplayFlag_NONE = 0,
  PF_ValueDisplayFlag_PERCENT = 1 << 0,
};

enum : A_u_long {
  PF_FSliderFlag_NONE = 0,
  PF_FSliderFlag_WANT_PHASE = 1L << 0,
};

#define PF_MAX_EFFECT_PARAM_NAME_LEN 31

struct PF_FixedSliderDef {
  PF_Fixed value;
  A_char value_str[32];
  A_char value_desc[32];
  PF_Fixed valid_min, valid_max;
  PF_Fixed slider_min, slider_max;
  PF_Fixed dephault;
  A_short precision;
  A_short display_flags;
};

struct PF_FloatSliderDef {
  A_FpLong value;
  A_FpLong phase;
  A_char value_desc[32];
  A_FpShort valid_min, valid_max;
  A_FpShort slider_min, slider_max;
  A_FpShort dephault;
  A_short precision;
  A_short display_flags;
  A_u_long fs_flags;
  A_FpShort curve_tolerance;
  PF_Boolean useExponent;
  A_FpShort exponent;
};

struct PF_AngleDef {
  PF_Fixed value;  // degrees
  PF_Fixed dephault;
  PF_Fixed valid_min, valid_max;
};

struct PF_PopupDef {
  A_long value;  // 1-based choice
  A_short num_choices;
  A_short dephault;
  const A_char* u_names;  // choices separated by '|'
};

union PF_ParamDefUnion {
  PF_LayerDef ld;
  PF_FixedSliderDef fd;
  PF_FloatSliderDef fs_d;
  PF_AngleDef ad;
  PF_PopupDef pd;
};

union PF_ParamDefUU {
  A_long id;  // the parameter identifier, set at parameter setup
  A_long change_flags;
};

struct PF_ParamDef {
  PF_ParamDefUU uu;
  A_long ui_flags;
  A_short ui_width;
  A_short ui_height;
  PF_ParamType param_type;
  A_char name[32];
  PF_ParamFlags flags;
  A_long unused;
  PF_ParamDefUnion u;
};
typedef PF_ParamDef* PF_ParamDefPtr;
typedef PF_ParamDef** PF_ParamList;

// Utility callbacks: the standard C functions the host offers to effects.
struct PF_ANSICallbacks {
  A_FpLong (*atan)(A_FpLong);
  A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
  A_FpLong (*ceil)(A_FpLong);
  A_FpLong (*cos)(A_FpLong);
  A_FpLong (*exp)(A_FpLong);
  A_FpLong (*fabs)(A_FpLong);
  A_FpLong (*floor)(A_FpLong);
  A_FpLong (*fmod)(A_FpLong x, A_FpLong y);
  A_FpLong (*hypot)(A_FpLong x, A_FpLong y);
  A_FpLong (*log)(A_FpLong);
  A_FpLong (*log10)(A_FpLong);
  A_FpLong (*pow)(A_FpLong x, A_FpLong y);
  A_FpLong (*sin)(A_FpLong);
  A_FpLong (*sqrt)(A_FpLong);
  A_FpLong (*tan)(A_FpLong);
  int (*sprintf)(A_char* buffer, const A_char* format, ...);
  A_char* (*strcpy)(A_char* dest, const A_char* src);
  A_FpLong (*asin)(A_FpLong);
  A_FpLong (*acos)(A_FpLong);
};

struct PF_UtilCallbacks {
  // Copies src into dst; with rectangles, scales src_r of src onto dst_r of dst.
  // A null rectangle means the whole world.
  PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                 PF_Rect* dst_r);
  PF_ANSICallbacks ansi;
};

struct PF_InteractCallbacks {
  PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                           A_u_long time_scale, PF_ParamDef* param);
  PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
  // index -1 appends.
  PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
};

struct PF_InData {
  PF_InteractCallbacks inter;
  PF_UtilCallbacks* utils;
  PF_ProgPtr effect_ref;
  A_long quality;
  A_u_long version;
  A_long serial_num;
  A_long appl_id;
  A_long num_params;
  A_long reserved;
  A_long what_cpu;
  A_long what_fpu;
  A_long current_time;
  A_long time_step;
  A_long total_time;
  A_long local_time_step;
  A_u_long time_scale;
  PF_Field field;
  PF_Fixed shutter_angle;
  A_long width;   // the layer's size
  A_long height;
  PF_LRect extent_hint;
  A_long output_origin_x;
  A_long output_origin_y;
  PF_RationalScale downsample_x;
  PF_RationalScale downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  A_long in_flags;
  PF_Handle global_data;
  PF_Handle sequence_data;
  PF_Handle frame_data;
  const SPBasicSuite* pica_basicP;
};

struct PF_OutData {
  A_u_long my_version;
  A_char name[32];
  PF_Handle global_data;
  A_long num_params;
  PF_Handle sequence_data;
  A_long flat_sdata_size;
  PF_Handle frame_data;
  A_long width;
  A_long height;
  A_long origin_x;
  A_long origin_y;
  A_long out_flags;
  A_char return_msg[256];
  A_long start_sampL;
  A_long dur_sampL;
  A_long out_flags2;
};
