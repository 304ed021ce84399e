#include "media/alsa/AlsaQuietErrors.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// This ALSA release declares snd_lib_error_set_local outside its C linkage block.
extern "C" {
#include <alsa/asoundlib.h>
}

namespace tvn {

namespace {
void ignore(const char*, int, const char*, int, const char*, va_list) {}
}  // namespace

AlsaQuietErrors::AlsaQuietErrors() : previous_(reinterpret_cast<void*>(snd_lib_error_set_local(ignore))) {}

AlsaQuietErrors::~AlsaQuietErrors() {
    snd_lib_error_set_local(reinterpret_cast<snd_local_error_handler_t>(previous_));
}

}  // namespace tvn
