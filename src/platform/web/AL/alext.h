// alext.h - the OpenAL Soft extension names the sound module refers to, for
// the browser's OpenAL, which has none of them. Its alcIsExtensionPresent
// answers no for "ALC_SOFT_loopback", so the loopback device is refused with
// a message and these are never called.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#define ALC_FORMAT_CHANNELS_SOFT 0x1990
#define ALC_FORMAT_TYPE_SOFT 0x1991
#define ALC_SHORT_SOFT 0x1402
#define ALC_STEREO_SOFT 0x1501
#define ALC_HRTF_SOFT 0x1992
#define ALC_OUTPUT_LIMITER_SOFT 0x199A

typedef ALCdevice* (*LPALCLOOPBACKOPENDEVICESOFT)(const ALCchar*);
typedef ALCboolean (*LPALCISRENDERFORMATSUPPORTEDSOFT)(ALCdevice*, ALCsizei, ALCenum, ALCenum);
typedef void (*LPALCRENDERSAMPLESSOFT)(ALCdevice*, ALCvoid*, ALCsizei);
