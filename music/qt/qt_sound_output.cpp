#include "music/qt/qt_sound_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <span>

namespace kestrane::music::qt {
namespace {

// Hands the looping ring to the sink: every read continues where the last
// one stopped, and the count of bytes taken is the device's play position.
class RingReader final : public QIODevice {
public:
    RingReader(const player::OutputRing& ring, std::atomic<std::uint64_t>& position,
               std::atomic<std::uint64_t>& played)
        : ring_(ring), position_(position), played_(played) {}
    // The sink whose processed time is sampled at each read; both live on the
    // sound thread, so the sink is only asked from there.
    void SetSink(const QAudioSink* sink) { sink_ = sink; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return player::kRingBytes + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxlen) override {
        if (maxlen <= 0) return 0;
        const std::uint64_t at = position_.load();
        if (sink_ != nullptr) {
            const qint64 usecs = std::max<qint64>(0, sink_->processedUSecs());
            played_.store(static_cast<std::uint64_t>(usecs) * player::kSampleRate / 1000000 *
                          player::kBytesPerFrame);
        }
        ring_.Read(
            at, std::span<std::byte>(reinterpret_cast<std::byte*>(data), static_cast<std::size_t>(maxlen)));
        position_.store(at + static_cast<std::uint64_t>(maxlen));
        return maxlen;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const player::OutputRing& ring_;
    std::atomic<std::uint64_t>& position_;
    std::atomic<std::uint64_t>& played_;
    const QAudioSink* sink_ = nullptr;
};

// Sink buffer: six blocks (128 ms), well inside the 15 blocks the ring
// holds ahead of the play position.
constexpr qsizetype kSinkBufferBytes = 6 * player::kBlockBytes;

}  // namespace

struct QtSoundOutput::Impl {
    std::mutex mutex;  // Open and Close
    QThread thread;
    std::unique_ptr<QObject> context;  // lives on `thread`
    // Created, used and destroyed on `thread` only.
    std::unique_ptr<RingReader> reader;
    std::unique_ptr<QAudioSink> sink;
    std::atomic<std::uint64_t> position{0};
    std::atomic<std::uint64_t> played{0};

    void CloseLocked() {
        if (!context) return;
        QMetaObject::invokeMethod(
            context.get(),
            [this] {
                if (sink) sink->stop();
                sink.reset();
                reader.reset();
            },
            Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        context.reset();
    }
};

QtSoundOutput::QtSoundOutput() : impl_(std::make_unique<Impl>()) {
    impl_->thread.setObjectName(QStringLiteral("kestrane-sound"));
}

QtSoundOutput::~QtSoundOutput() { Close(); }

bool QtSoundOutput::Open(const player::OutputRing& ring) {
    std::lock_guard lock(impl_->mutex);
    impl_->CloseLocked();
    if (QCoreApplication::instance() == nullptr) return false;

    // Device discovery stays on the application's thread, where Qt's audio
    // backend expects to live; only the sink moves to the sound thread.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(player::kSampleRate);
    format.setChannelCount(player::kChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return false;

    impl_->position = 0;
    impl_->played = 0;
    impl_->thread.start();
    impl_->context = std::make_unique<QObject>();
    impl_->context->moveToThread(&impl_->thread);
    bool started = false;
    Impl* impl = impl_.get();
    QMetaObject::invokeMethod(
        impl->context.get(),
        [impl, &ring, &device, &format, &started] {
            impl->reader = std::make_unique<RingReader>(ring, impl->position, impl->played);
            impl->reader->open(QIODevice::ReadOnly);
            impl->sink = std::make_unique<QAudioSink>(device, format);
            impl->reader->SetSink(impl->sink.get());
            impl->sink->setBufferSize(kSinkBufferBytes);
            impl->sink->start(impl->reader.get());
            started = impl->sink->error() == QAudio::NoError && impl->sink->state() != QAudio::StoppedState;
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        impl_->CloseLocked();
        return false;
    }
    return true;
}

std::uint64_t QtSoundOutput::Position() { return impl_->position.load(); }

std::optional<std::uint64_t> QtSoundOutput::PlayedPosition() {
    // Sampled at the sink's last read, so it never runs ahead of the sink;
    // and never ahead of what was taken, whatever the sink's clock says.
    return std::min(impl_->played.load(), impl_->position.load());
}

void QtSoundOutput::Close() {
    std::lock_guard lock(impl_->mutex);
    impl_->CloseLocked();
}

}  // namespace kestrane::music::qt
