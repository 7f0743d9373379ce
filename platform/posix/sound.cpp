#include "platform/sound.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <exception>
#include <thread>
#include <vector>

#include "platform/posix/local_text.h"

namespace {

constexpr unsigned kToneRate = 44100;
constexpr unsigned kBlocksPerSecond = 10;  // the player writes a tenth of a second at a time

struct Wave {
    unsigned channels = 0;
    unsigned rate = 0;
    unsigned bits = 0;
    std::vector<char> samples;
};

std::uint32_t le32(const char* p)
{
    return static_cast<std::uint8_t>(p[0]) | static_cast<std::uint8_t>(p[1]) << 8 |
           static_cast<std::uint8_t>(p[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[3])) << 24;
}

std::uint16_t le16(const char* p)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(p[0]) | static_cast<std::uint8_t>(p[1]) << 8);
}

// What the player can play: 8 or 16 bits, at least one frame per block and
// at least one whole frame of samples (else it would never move on).
bool playable(const Wave& wave)
{
    if (wave.channels == 0 || (wave.bits != 8 && wave.bits != 16) || wave.rate < kBlocksPerSecond) return false;
    return wave.samples.size() >= wave.channels * wave.bits / 8;
}

// Reads a PCM RIFF/WAVE file the player can play; false for anything else.
bool read_wave(const char* path, Wave& wave)
{
    std::ifstream in(local_path(path), std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), {});
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0)
        return false;
    for (std::size_t pos = 12; pos + 8 <= data.size();) {
        const std::uint32_t size = le32(data.data() + pos + 4);
        const std::size_t body = pos + 8;
        if (size > data.size() - body) return false;
        if (std::memcmp(data.data() + pos, "fmt ", 4) == 0 && size >= 16) {
            if (le16(data.data() + body) != 1) return false;  // PCM only
            wave.channels = static_cast<std::uint8_t>(data[body + 2]);
            wave.rate = le32(data.data() + body + 4);
            wave.bits = static_cast<std::uint8_t>(data[body + 14]);
        } else if (std::memcmp(data.data() + pos, "data", 4) == 0) {
            wave.samples.assign(data.begin() + static_cast<std::ptrdiff_t>(body),
                                data.begin() + static_cast<std::ptrdiff_t>(body + size));
        }
        pos = body + size + (size & 1);
    }
    return playable(wave);
}

void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

class Pcm {
public:
    Pcm(snd_pcm_format_t format, unsigned channels, unsigned rate)
    {
        snd_lib_error_set_handler(quiet_alsa);  // a machine without sound says nothing about it
        if (snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, 0) != 0) {
            pcm_ = nullptr;
            return;
        }
        if (snd_pcm_set_params(pcm_, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, 200000) != 0) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
        }
    }
    ~Pcm()
    {
        if (pcm_ != nullptr) snd_pcm_close(pcm_);
    }
    bool ok() const { return pcm_ != nullptr; }
    // False when the device fails and cannot be recovered.
    bool write(const void* frames, snd_pcm_uframes_t count)
    {
        const char* p = static_cast<const char*>(frames);
        while (count > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, p, count);
            if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1) == 0 ? 0 : -1;
            if (n < 0) return false;
            p += static_cast<std::size_t>(n) * frame_bytes_;
            count -= static_cast<snd_pcm_uframes_t>(n);
        }
        return true;
    }
    void set_frame_bytes(std::size_t n) { frame_bytes_ = n; }
    void drain() { snd_pcm_drain(pcm_); }
    void drop() { snd_pcm_drop(pcm_); }

private:
    snd_pcm_t* pcm_ = nullptr;
    std::size_t frame_bytes_ = 1;
};

// The one wave sound that plays at a time.
class WavePlayer {
public:
    void play(const char* path, bool loop)
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        Wave wave;
        if (!read_wave(path, wave)) return;
        stop_ = false;
        try {
            thread_ = std::thread(&WavePlayer::run, this, std::move(wave), loop);
        } catch (const std::exception&) {
            // no thread (or no memory for one) to play on: the trap goes without its sound
        }
    }

private:
    void run(Wave wave, bool loop)
    {
        Pcm pcm(wave.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE, wave.channels, wave.rate);
        if (!pcm.ok()) return;
        const std::size_t frame = wave.channels * wave.bits / 8;
        pcm.set_frame_bytes(frame);
        const std::size_t frames = wave.samples.size() / frame;
        const std::size_t block = wave.rate / kBlocksPerSecond;  // so a stop is heard at once; never 0
        bool playing = true;  // a failed device ends the sound, or a loop would spin on it
        do {
            for (std::size_t at = 0; playing && at < frames && !stop_; at += block)
                playing = pcm.write(wave.samples.data() + at * frame, std::min(block, frames - at));
        } while (playing && loop && !stop_);
        if (stop_ || !playing) {
            pcm.drop();
        } else {
            pcm.drain();
        }
    }

    std::mutex lock_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

WavePlayer& wave_player()
{
    static auto* player = new WavePlayer;  // never destroyed: it may play while the program ends
    return *player;
}

} // namespace

void play_wave_file(const char* path, bool loop) { wave_player().play(path, loop); }

void play_beep(unsigned frequency, unsigned milliseconds)
{
    const auto started = std::chrono::steady_clock::now();
    Pcm pcm(SND_PCM_FORMAT_S16_LE, 1, kToneRate);
    if (pcm.ok()) {
        pcm.set_frame_bytes(2);
        std::vector<std::int16_t> tone(static_cast<std::size_t>(kToneRate) * milliseconds / 1000);
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * frequency * i / kToneRate));
        pcm.write(tone.data(), tone.size());
        pcm.drain();
    }
    std::this_thread::sleep_until(started + std::chrono::milliseconds(milliseconds));
}
