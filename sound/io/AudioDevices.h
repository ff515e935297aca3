#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace selva {

class SoundTransport;

// The audio device layer: what the sound subsystem expects of a sound card. A backend lists its input
// devices with the capture formats (rows of WaveFormats) each supports, and opens a capture or a playback
// of a format that moves its bytes through a SoundTransport on a thread of its own (never the UI thread):
// capture hands every captured byte to SoundTransport::CaptureArrived, playback takes what it plays from
// SoundTransport::PlaybackPull and marks the end of playback once the device has played the last byte.

struct CaptureFormat {
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 44100;
    std::uint16_t bitsPerSample = 16;
};

struct AudioInput {
    std::string id;          // the backend's name of the device
    std::string description; // what the device list shows
    // Capability flags of the WaveFormats rows the device supports (WaveFormatRow::CapabilityFlag).
    std::uint32_t formatFlags = 0;
    bool simulated = false;
};

// Why a device did not open: one of the codes below (0 for others) with its text.
struct DeviceError {
    int code = 0;
    std::string text;

    // "Failed to open intput device." and the text on a line of its own, as the window shows it.
    std::string Message() const;
};
inline constexpr int DeviceBadId = 2;      // "Specified device identifier is out of range."
inline constexpr int DeviceAllocated = 4;  // "Specified resource is already allocated."
inline constexpr int DeviceNoDriver = 6;   // "No device driver is present."
inline constexpr int DeviceNoMemory = 7;   // "Unable to allocate or lock memory."
inline constexpr int DeviceBadFormat = 32; // "Attempted to open with an unsupported waveform-audio format."
DeviceError MakeDeviceError(int code, const std::string& otherText = {});

// An open capture or playback. Stop returns once the device thread will not touch the transport again.
// UI thread only.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    virtual void Stop() = 0;
    virtual bool Pause() { return false; }
    virtual bool Resume() { return false; }
};

// UI thread only (the device threads are the backend's own).
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual std::vector<AudioInput> Inputs() = 0;
    // The transport is prepared for the format before; nullptr with `error` set when the device did not open.
    virtual std::unique_ptr<AudioStream> OpenCapture(const AudioInput& device, const CaptureFormat& format,
                                                     SoundTransport& transport, DeviceError& error) = 0;
    // Playback through the backend's output device; unsupported by default.
    virtual std::unique_ptr<AudioStream> OpenPlayback(const CaptureFormat& format, SoundTransport& transport,
                                                      DeviceError& error);
};

// The capability flags of every WaveFormats row whose format `supported` accepts.
std::uint32_t FormatFlagsWhere(const std::function<bool(const CaptureFormat&)>& supported);

} // namespace selva
