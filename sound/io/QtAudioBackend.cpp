#include "sound/io/QtAudioBackend.h"

#include "sound/SoundTransport.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace selva {

namespace {

QAudioFormat qtFormat(const CaptureFormat& f)
{
    QAudioFormat q;
    q.setChannelCount(f.channels);
    q.setSampleRate(int(f.sampleRate));
    q.setSampleFormat(f.bitsPerSample == 8    ? QAudioFormat::UInt8
                      : f.bitsPerSample == 32 ? QAudioFormat::Int32
                                              : QAudioFormat::Int16);
    return q;
}

bool supportedWidth(std::uint16_t bits)
{
    return bits == 8 || bits == 16 || bits == 32;
}

// What Qt hands over while capturing goes straight into the ring's buffers (device thread).
class CaptureAdapter : public QIODevice {
public:
    explicit CaptureAdapter(SoundTransport& t) : t_(t) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return 0; }
    qint64 writeData(const char* data, qint64 len) override
    {
        t_.CaptureArrived(reinterpret_cast<const unsigned char*>(data),
                          std::size_t(std::max<qint64>(len, 0)));
        return len;
    }

private:
    SoundTransport& t_;
};

// What Qt asks for while playing comes out of the ring's queued buffers (device thread).
class PlaybackAdapter : public QIODevice {
public:
    explicit PlaybackAdapter(SoundTransport& t) : t_(t) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return t_.Drained() ? 0 : 1 << 16; }

protected:
    qint64 readData(char* data, qint64 maxlen) override
    {
        return qint64(t_.PlaybackPull(reinterpret_cast<unsigned char*>(data),
                                      std::size_t(std::max<qint64>(maxlen, 0))));
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    SoundTransport& t_;
};

DeviceError errorOf(QAudio::Error e)
{
    switch (e) {
    case QAudio::OpenError:
        return MakeDeviceError(DeviceAllocated);
    case QAudio::FatalError:
        return MakeDeviceError(DeviceNoDriver);
    default:
        return MakeDeviceError(0, "The audio device reported an error.");
    }
}

class QtCaptureStream : public AudioStream {
public:
    QtCaptureStream(QtAudioBackend& b, QAudioSource* s, CaptureAdapter* a) : b_(b), source_(s), adapter_(a) {}
    ~QtCaptureStream() override { Stop(); }
    void Stop() override
    {
        if (!source_)
            return;
        b_.RunOnDeviceThread([this] {
            source_->stop();
            delete source_;
            delete adapter_;
        });
        source_ = nullptr;
        adapter_ = nullptr;
    }

private:
    QtAudioBackend& b_;
    QAudioSource* source_;
    CaptureAdapter* adapter_;
};

class QtPlaybackStream : public AudioStream {
public:
    QtPlaybackStream(QtAudioBackend& b, QAudioSink* s, PlaybackAdapter* a) : b_(b), sink_(s), adapter_(a) {}
    ~QtPlaybackStream() override { Stop(); }
    void Stop() override
    {
        if (!sink_)
            return;
        b_.RunOnDeviceThread([this] {
            sink_->stop();
            delete sink_;
            delete adapter_;
        });
        sink_ = nullptr;
        adapter_ = nullptr;
    }
    bool Pause() override
    {
        bool ok = false;
        b_.RunOnDeviceThread([&] {
            sink_->suspend();
            ok = sink_->state() == QAudio::SuspendedState;
        });
        return ok;
    }
    bool Resume() override
    {
        bool ok = false;
        b_.RunOnDeviceThread([&] {
            sink_->resume();
            ok = sink_->state() != QAudio::SuspendedState;
        });
        return ok;
    }

private:
    QtAudioBackend& b_;
    QAudioSink* sink_;
    PlaybackAdapter* adapter_;
};

} // namespace

QtAudioBackend::QtAudioBackend() : thread_(std::make_unique<QThread>())
{
    thread_->setObjectName(QStringLiteral("sound device"));
    context_ = new QObject;
    context_->moveToThread(thread_.get());
    thread_->start();
}

QtAudioBackend::~QtAudioBackend()
{
    RunOnDeviceThread([this] { delete context_; });
    thread_->quit();
    thread_->wait();
}

void QtAudioBackend::RunOnDeviceThread(const std::function<void()>& work)
{
    QMetaObject::invokeMethod(
        context_, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

std::vector<AudioInput> QtAudioBackend::Inputs()
{
    std::vector<AudioInput> inputs;
    for (const QAudioDevice& d : QMediaDevices::audioInputs()) {
        AudioInput in;
        in.id = d.id().toStdString();
        in.description = d.description().toStdString();
        in.formatFlags =
            FormatFlagsWhere([&d](const CaptureFormat& f) { return d.isFormatSupported(qtFormat(f)); });
        inputs.push_back(std::move(in));
    }
    return inputs;
}

std::unique_ptr<AudioStream> QtAudioBackend::OpenCapture(const AudioInput& device,
                                                         const CaptureFormat& format,
                                                         SoundTransport& transport, DeviceError& error)
{
    QAudioDevice found;
    for (const QAudioDevice& d : QMediaDevices::audioInputs())
        if (d.id().toStdString() == device.id)
            found = d;
    if (found.isNull()) {
        error = MakeDeviceError(DeviceBadId);
        return nullptr;
    }
    const QAudioFormat qf = qtFormat(format);
    if (!supportedWidth(format.bitsPerSample) || !found.isFormatSupported(qf)) {
        error = MakeDeviceError(DeviceBadFormat);
        return nullptr;
    }
    QAudioSource* source = nullptr;
    CaptureAdapter* adapter = nullptr;
    QAudio::Error failure = QAudio::NoError;
    RunOnDeviceThread([&] {
        source = new QAudioSource(found, qf);
        // Data arrives every fifth of a second, as the buffers finish.
        source->setBufferSize(qsizetype(std::max(transport.Layout().BufferBytes, 1)));
        adapter = new CaptureAdapter(transport);
        adapter->open(QIODevice::WriteOnly);
        source->start(adapter);
        failure = source->error();
        if (failure != QAudio::NoError) {
            source->stop();
            delete source;
            delete adapter;
        }
    });
    if (failure != QAudio::NoError) {
        error = errorOf(failure);
        return nullptr;
    }
    return std::make_unique<QtCaptureStream>(*this, source, adapter);
}

std::unique_ptr<AudioStream> QtAudioBackend::OpenPlayback(const CaptureFormat& format,
                                                          SoundTransport& transport, DeviceError& error)
{
    const QAudioDevice out = QMediaDevices::defaultAudioOutput();
    if (out.isNull()) {
        error = MakeDeviceError(DeviceBadId);
        return nullptr;
    }
    const QAudioFormat qf = qtFormat(format);
    if (!supportedWidth(format.bitsPerSample) || !out.isFormatSupported(qf)) {
        error = MakeDeviceError(DeviceBadFormat);
        return nullptr;
    }
    QAudioSink* sink = nullptr;
    PlaybackAdapter* adapter = nullptr;
    QAudio::Error failure = QAudio::NoError;
    const double bytesPerSecond = double(format.sampleRate) * format.channels * (format.bitsPerSample / 8);
    RunOnDeviceThread([&] {
        sink = new QAudioSink(out, qf);
        sink->setBufferSize(qsizetype(std::max(transport.Layout().BufferBytes, 1)));
        adapter = new PlaybackAdapter(transport);
        adapter->open(QIODevice::ReadOnly);
        // Qt goes idle when it has nothing more to play: once the transport has handed over its last
        // byte, the end of playback is marked when the device has played it.
        QObject::connect(
            sink, &QAudioSink::stateChanged, sink, [sink, &transport, bytesPerSecond](QAudio::State s) {
                if (s != QAudio::IdleState || !transport.Drained())
                    return;
                const double handed =
                    bytesPerSecond > 0 ? double(transport.PlayedBytes()) / bytesPerSecond * 1e6 : 0;
                const double left = std::clamp(handed - double(sink->processedUSecs()), 0.0, 2e6);
                QTimer::singleShot(int(left / 1000) + 20, sink,
                                   [&transport] { transport.MarkPlaybackEnded(); });
            });
        // Buffers that went to the device are refilled from the file here, outside the callback.
        auto* refill = new QTimer(sink);
        QObject::connect(refill, &QTimer::timeout, sink, [&transport] { transport.PlaybackRefill(); });
        refill->start(20);
        sink->start(adapter);
        failure = sink->error();
        if (failure != QAudio::NoError) {
            sink->stop();
            delete sink;
            delete adapter;
        }
    });
    if (failure != QAudio::NoError) {
        error = errorOf(failure);
        return nullptr;
    }
    return std::make_unique<QtPlaybackStream>(*this, sink, adapter);
}

} // namespace selva
