# Fails when an application includes a header of the FFmpeg or ALSA layer
# (src/media/ffmpeg, src/media/alsa). Applications are hosts: they reach the
# control through its public headers only (control/, core/, platform/, the
# contracts in media/), so the media layers can change without them. The
# subsystems outside src/media are held to the same (-DWHO=subsystems): they
# reach the media layers through the contracts in src/media (FrameSource,
# VideoEngine, ...).
# Run as: cmake -DSOURCES="a.cpp;b.h" -DSTAMP=file [-DWHO=subsystems] -P CheckAppIncludes.cmake
set(offenders "")
foreach(source IN LISTS SOURCES)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]([^\">]*/)?media/(ffmpeg|alsa)/")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    list(APPEND offenders "${source}: ${line}")
  endforeach()
endforeach()
if(offenders AND WHO STREQUAL "subsystems")
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "A subsystem outside src/media includes the FFmpeg/ALSA layer; use the contracts in "
                      "src/media (media/FrameSource.h, media/VideoEngine.h, ...) instead:\n  ${text}")
endif()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "An application includes the FFmpeg/ALSA layer; use the library's public headers "
                      "(control/ClipProbe.h, control/Trelvan.h, ...) instead:\n  ${text}")
endif()
file(TOUCH "${STAMP}")
