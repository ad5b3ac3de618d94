# The device side of libsonvox: the device layer (PortAudio and the file
# device), the recorder, the playback thread and post-record processing, which
# binds liblevelcut at load time.
pkg_check_modules(SONVOX_PORTAUDIO REQUIRED IMPORTED_TARGET portaudio-2.0)
pkg_check_modules(SONVOX_ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(SONVOX_SOXR REQUIRED IMPORTED_TARGET soxr)
pkg_check_modules(SONVOX_PULSE REQUIRED IMPORTED_TARGET libpulse)

target_sources(sonvox_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CSoundDevice.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CPortAudioDevice.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CFileDevice.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CModulePin.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CCaptureSource.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CWaveAppender.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CQuietStderr.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/PortAudioRuntime.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CSoundDeviceList.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CPollWorker.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CWaveRecorder.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CPlayThread.cpp)
target_link_libraries(sonvox_core PUBLIC PkgConfig::SONVOX_PORTAUDIO PkgConfig::SONVOX_ALSA PkgConfig::SONVOX_SOXR
  PkgConfig::SONVOX_PULSE)

set_property(TARGET sonvox_engine PROPERTY SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/Engine.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Processing.cpp)
target_link_libraries(sonvox_engine PUBLIC levelcut)

# The library starts threads and binds the sound system, whose own libraries
# keep state: it stays mapped once loaded, so that nothing can ever run on
# unmapped code after a client's dlclose.
target_link_options(sonvox PRIVATE -Wl,-z,nodelete)

# The list of sound devices for the program's Sound Devices dialog and
# ormid-cli, which cannot reach into the library: the same sources, built
# once more on their own.
add_library(sonvox_devicelist STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CSoundDeviceList.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CQuietStderr.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/PortAudioRuntime.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devices/CModulePin.cpp)
target_include_directories(sonvox_devicelist PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/devices)
target_link_libraries(sonvox_devicelist PUBLIC PkgConfig::SONVOX_PORTAUDIO PkgConfig::SONVOX_ALSA
  PkgConfig::SONVOX_PULSE ${CMAKE_DL_LIBS})
