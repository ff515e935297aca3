#include "sound/io/AudioDevices.h"

#include "sound/Wave.h"

namespace selva {

std::string DeviceError::Message() const
{
    return "Failed to open intput device.\n" + text;
}

DeviceError MakeDeviceError(int code, const std::string& otherText)
{
    switch (code) {
    case DeviceBadId:
        return {code, "Specified device identifier is out of range."};
    case DeviceAllocated:
        return {code, "Specified resource is already allocated."};
    case DeviceNoDriver:
        return {code, "No device driver is present."};
    case DeviceNoMemory:
        return {code, "Unable to allocate or lock memory."};
    case DeviceBadFormat:
        return {code, "Attempted to open with an unsupported waveform-audio format."};
    default:
        return {code, otherText};
    }
}

std::unique_ptr<AudioStream> AudioBackend::OpenPlayback(const CaptureFormat&, SoundTransport&,
                                                        DeviceError& error)
{
    error = MakeDeviceError(DeviceBadId);
    return nullptr;
}

std::uint32_t FormatFlagsWhere(const std::function<bool(const CaptureFormat&)>& supported)
{
    std::uint32_t flags = 0;
    for (const WaveFormatRow& row : WaveFormats)
        if (supported(CaptureFormat{static_cast<std::uint16_t>(row.Channels), row.SampleRate,
                                    static_cast<std::uint16_t>(row.BitsPerSample)}))
            flags |= row.CapabilityFlag;
    return flags;
}

} // namespace selva
