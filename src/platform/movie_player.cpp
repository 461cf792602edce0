#include "platform/movie_player.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "base/gamepath.h"
#include "platform/sound_buffers.h"

namespace {

constexpr size_t PICTURES_AHEAD = 4;
// Sound decoding may run this far past PICTURES_AHEAD in a file whose streams lie far apart.
constexpr size_t PICTURES_MAX = 24;
constexpr int64_t RING_MS = 1000, AHEAD_MS = 250, STARVING_MS = 40;
constexpr uint32_t FRAME_BYTES = 4;  // one output frame: 16-bit stereo
constexpr uint32_t PUMP_INTERVAL_MS = 5;
constexpr int PACKETS_PER_PUMP = 64;

int64_t frames_of_ms(int64_t ms) { return ms * SOUND_OUTPUT_RATE / 1000; }
int64_t ms_of_frames(int64_t frames) { return frames * 1000 / SOUND_OUTPUT_RATE; }

struct picture {
  std::vector<uint8_t> bgr;
  int64_t at_ms;  // playing time at which it is due
};

struct stream_decoder {
  AVCodecContext* codec = nullptr;
  int index = -1;
  bool done = false;  // the pass's frames are all out (drained, or past the range's end)
  int64_t next_ms = 0;  // where a frame without a time stamp goes
};
bool active(const stream_decoder& d) { return d.codec && !d.done; }

}  // namespace

struct movie_player {
  movie_player_spec spec;
  int fd = -1;                // the file, as host_file_open checked it
  AVIOContext* io = nullptr;  // FFmpeg reads the file through fd, never by its path
  AVFormatContext* format = nullptr;
  stream_decoder video, audio;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVChannelLayout resampler_layout{};
  int resampler_rate = 0, resampler_format = -1;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int stride = 0;
  int64_t start_ms = 0;     // the file's first time stamp
  int64_t frame_ms = 40;    // a picture's duration when the file does not say

  // The pump's own state; one pump at a time.
  std::mutex work;
  std::deque<picture> pictures;
  std::vector<std::vector<uint8_t>> spare;
  std::vector<int16_t> sound;  // resampled output frames waiting for the ring
  size_t sound_head = 0;       // samples of sound already written
  int64_t pass_offset_ms = 0;  // playing time where the current pass began
  int64_t video_end_ms = 0;    // playing time where the pass's last picture ends
  int64_t sound_pass_frames = 0;
  bool demuxed_all = false;
  bool finished = false;  // no pass follows
  int64_t end_ms = 0;     // the playing time of the end, once finished
  bool decoded_any = false;
  sound_buffer* ring = nullptr;
  uint32_t ring_size = 0, write_pos = 0;
  uint32_t last_position = 0, last_unplayed = 0;  // the cursor and the sound ahead of it at the last feed
  int64_t written_frames = 0;
  uint32_t wall_start = 0;

  // What the window thread reads.
  std::mutex shown_lock;
  std::vector<uint8_t> shown;
  bool has_shown = false;
  std::atomic<bool> ended{false};
  std::atomic<int64_t> clock{0};
  std::atomic<int64_t> decoded{0};

  std::thread thread;
  std::atomic<bool> stop{false};
};

namespace {

int64_t ms_of(int64_t ts, AVRational base) { return av_rescale_q(ts, base, AVRational{1, 1000}); }

// A frame's time; one missing, or one a minute away from where its stream stood (damaged files),
// goes where the stream stood, so no frame waits forever.
constexpr int64_t TIME_JUMP_MS = 60000;
int64_t frame_time(int64_t ts, AVRational base, int64_t start_ms, int64_t expected) {
  if (ts == AV_NOPTS_VALUE) return expected;
  int64_t t = ms_of(ts, base) - start_ms;
  return t < expected - TIME_JUMP_MS || t > expected + TIME_JUMP_MS ? expected : t;
}

AVRational base_of(movie_player* p, const stream_decoder& d) { return p->format->streams[d.index]->time_base; }

bool decoder_open(movie_player* p, AVMediaType type, stream_decoder& d) {
  int index = av_find_best_stream(p->format, type, -1, -1, nullptr, 0);
  if (index < 0) return false;
  const AVCodecParameters* par = p->format->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return false;
  AVCodecContext* c = avcodec_alloc_context3(codec);
  if (!c) return false;
  c->thread_count = 1;  // one core: the game's own work runs beside it
  if (avcodec_parameters_to_context(c, par) < 0 || avcodec_open2(c, codec, nullptr) < 0) {
    avcodec_free_context(&c);
    return false;
  }
  d.codec = c;
  d.index = index;
  return true;
}

int64_t playing_clock(movie_player* p) {
  if (!p->ring) return static_cast<uint32_t>(plat().clock_ms() - p->wall_start);
  uint32_t unplayed = (p->write_pos + p->ring_size - sound_buffer_position(p->ring)) % p->ring_size;
  return ms_of_frames(p->written_frames - unplayed / FRAME_BYTES);
}

void take_picture(movie_player* p) {
  AVFrame* f = p->frame;
  int64_t t = frame_time(f->best_effort_timestamp, base_of(p, p->video), p->start_ms, p->video.next_ms);
  int64_t duration = f->pkt_duration > 0 ? std::max<int64_t>(1, ms_of(f->pkt_duration, base_of(p, p->video))) : p->frame_ms;
  p->video.next_ms = t + duration;
  if (t + duration <= p->spec.from_ms) return;  // before the range (after a seek to a key frame)
  if (p->spec.to_ms >= 0 && t >= p->spec.to_ms) {
    p->video.done = true;
    return;
  }
  p->decoded_any = true;
  p->video_end_ms = std::max(p->video_end_ms, p->pass_offset_ms + t + duration - p->spec.from_ms);
  if (p->spec.width <= 0 || p->spec.height <= 0) return;
  p->scaler = sws_getCachedContext(p->scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), p->spec.width,
                                   p->spec.height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!p->scaler) return;
  picture pic;
  if (!p->spare.empty()) {
    pic.bgr.swap(p->spare.back());
    p->spare.pop_back();
  }
  pic.bgr.resize(static_cast<size_t>(p->stride) * p->spec.height);
  uint8_t* planes[1] = {pic.bgr.data()};
  int strides[1] = {p->stride};
  sws_scale(p->scaler, f->data, f->linesize, 0, f->height, planes, strides);
  pic.at_ms = p->pass_offset_ms + std::max<int64_t>(t - p->spec.from_ms, 0);
  p->pictures.push_back(std::move(pic));
  p->decoded++;
}

bool resampler_ready(movie_player* p, AVFrame* f) {
  if (p->resampler && p->resampler_rate == f->sample_rate && p->resampler_format == f->format &&
      av_channel_layout_compare(&p->resampler_layout, &f->ch_layout) == 0)
    return true;
  swr_free(&p->resampler);
  av_channel_layout_uninit(&p->resampler_layout);
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&p->resampler, &stereo, AV_SAMPLE_FMT_S16, SOUND_OUTPUT_RATE, &f->ch_layout,
                          static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
      swr_init(p->resampler) < 0) {
    swr_free(&p->resampler);
    return false;
  }
  av_channel_layout_copy(&p->resampler_layout, &f->ch_layout);
  p->resampler_rate = f->sample_rate;
  p->resampler_format = f->format;
  return true;
}

void take_sound(movie_player* p) {
  AVFrame* f = p->frame;
  if (f->sample_rate <= 0 || f->nb_samples <= 0 || !resampler_ready(p, f)) return;
  int64_t t = frame_time(f->pts, base_of(p, p->audio), p->start_ms, p->audio.next_ms);
  p->audio.next_ms = t + static_cast<int64_t>(f->nb_samples) * 1000 / f->sample_rate;
  int room = swr_get_out_samples(p->resampler, f->nb_samples);
  if (room <= 0) return;
  size_t at = p->sound.size();
  p->sound.resize(at + static_cast<size_t>(room) * 2);
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(p->sound.data() + at)};
  int made = swr_convert(p->resampler, out, room, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
  int64_t n = std::max(made, 0);
  int64_t skip = t < p->spec.from_ms ? std::min(n, frames_of_ms(p->spec.from_ms - t)) : 0;
  int64_t keep = n - skip;
  if (p->spec.to_ms >= 0) {
    int64_t left = frames_of_ms(p->spec.to_ms - p->spec.from_ms) - p->sound_pass_frames;
    if (keep >= left) {
      keep = std::max<int64_t>(left, 0);
      p->audio.done = true;
    }
  }
  if (skip && keep > 0) memmove(p->sound.data() + at, p->sound.data() + at + skip * 2, static_cast<size_t>(keep) * 4);
  p->sound.resize(p->spec.sound_sink && p->ring ? at + static_cast<size_t>(keep) * 2 : at);
  p->sound_pass_frames += keep;
  if (keep > 0) p->decoded_any = true;
}

// Takes every frame the decoder has ready. Once the file is read through, a decoder that has no
// frame left is done, whether it reports the end or an error.
void receive(movie_player* p, stream_decoder& d, void (*take)(movie_player*)) {
  while (active(d)) {
    int r = avcodec_receive_frame(d.codec, p->frame);
    if (r == AVERROR_EOF || (r < 0 && p->demuxed_all)) d.done = true;
    if (r < 0) return;
    take(p);
    av_frame_unref(p->frame);
  }
}

// Reads one packet (or, past the last, drains the decoders) and takes what it decodes into.
void decode_step(movie_player* p) {
  if (!p->demuxed_all) {
    if (av_read_frame(p->format, p->packet) < 0) {
      p->demuxed_all = true;
      for (stream_decoder* d : {&p->video, &p->audio})
        if (active(*d)) avcodec_send_packet(d->codec, nullptr);
    } else {
      for (stream_decoder* d : {&p->video, &p->audio})
        if (active(*d) && p->packet->stream_index == d->index) avcodec_send_packet(d->codec, p->packet);
      av_packet_unref(p->packet);
    }
  }
  receive(p, p->video, take_picture);
  receive(p, p->audio, take_sound);
}

void seek_to_start(movie_player* p) {
  int64_t target = av_rescale(p->spec.from_ms + p->start_ms, AV_TIME_BASE, 1000);
  av_seek_frame(p->format, -1, target, AVSEEK_FLAG_BACKWARD);
  for (stream_decoder* d : {&p->video, &p->audio})
    if (d->codec) {
      avcodec_flush_buffers(d->codec);
      d->done = false;
      d->next_ms = p->spec.from_ms;
    }
  p->demuxed_all = false;
}

void silence_append(movie_player* p, int64_t frames) {
  if (frames > 0 && p->ring) p->sound.resize(p->sound.size() + static_cast<size_t>(frames) * 2, 0);
}

// Both streams are through: the pass's sound is made as long as its pictures, and the next pass
// starts (loop) or the movie is finished.
void pass_end(movie_player* p) {
  int64_t length = std::max(p->video_end_ms - p->pass_offset_ms, ms_of_frames(p->sound_pass_frames));
  if (p->spec.to_ms >= 0) length = std::min<int64_t>(length, p->spec.to_ms - p->spec.from_ms);
  silence_append(p, frames_of_ms(length) - p->sound_pass_frames);
  if (p->spec.loop && length > 0) {
    p->pass_offset_ms += length;
    p->video_end_ms = p->pass_offset_ms;
    p->sound_pass_frames = 0;
    seek_to_start(p);
  } else {
    p->finished = true;
    p->end_ms = p->pass_offset_ms + length;
  }
}

size_t sound_waiting(const movie_player* p) { return (p->sound.size() - p->sound_head) / 2; }

void decode_ahead(movie_player* p) {
  for (int i = 0; i < PACKETS_PER_PUMP && !p->finished; i++) {
    if (!active(p->video) && !active(p->audio)) {
      pass_end(p);
      continue;
    }
    bool want_picture = active(p->video) && p->pictures.size() < PICTURES_AHEAD;
    bool want_sound = active(p->audio) && p->ring && p->pictures.size() < PICTURES_MAX &&
                      sound_waiting(p) < static_cast<size_t>(frames_of_ms(AHEAD_MS));
    // Dropped sound only sets the pace of reading when there are no pictures.
    bool want_dropped = active(p->audio) && !p->ring && (!p->video.codec || p->pictures.size() < PICTURES_AHEAD);
    if (!want_picture && !want_sound && !want_dropped) break;
    decode_step(p);
  }
  // Sound that ended before the pictures goes on as silence, so the clock keeps running.
  if (p->ring && p->audio.codec && !active(p->audio) && active(p->video)) {
    int64_t target = frames_of_ms(p->video_end_ms - p->pass_offset_ms);
    silence_append(p, target - p->sound_pass_frames);
    p->sound_pass_frames = std::max(p->sound_pass_frames, target);
  }
}

void ring_feed(movie_player* p) {
  uint32_t position = sound_buffer_position(p->ring);
  uint32_t advanced = (position + p->ring_size - p->last_position) % p->ring_size;
  p->last_position = position;
  if (advanced > p->last_unplayed) {
    // The cursor ran past the sound written (the thread was held up): it played old sound meanwhile,
    // which still counts as time played. Writing goes on from the cursor.
    p->written_frames += (advanced - p->last_unplayed) / FRAME_BYTES;
    p->write_pos = position;
  }
  uint32_t unplayed = (p->write_pos + p->ring_size - position) % p->ring_size;
  p->last_unplayed = unplayed;
  int64_t want = frames_of_ms(AHEAD_MS) - unplayed / FRAME_BYTES;
  if (want <= 0) return;
  int64_t n = std::min<int64_t>(want, static_cast<int64_t>(sound_waiting(p)));
  std::vector<int16_t> quiet;
  const int16_t* from = p->sound.data() + p->sound_head;
  if (n == 0) {
    // Nothing decoded yet: silence keeps the ring from replaying old sound, and after the end the
    // clock runs on.
    if (!p->finished && unplayed / FRAME_BYTES >= static_cast<uint32_t>(frames_of_ms(STARVING_MS))) return;
    n = want;
    quiet.assign(static_cast<size_t>(n) * 2, 0);
    from = quiet.data();
  } else {
    p->sound_head += static_cast<size_t>(n) * 2;
  }
  uint32_t bytes = static_cast<uint32_t>(n) * FRAME_BYTES;
  sound_regions r;
  if (sound_buffer_lock(p->ring, p->write_pos, bytes, r)) {
    memcpy(r.first, from, r.first_size);
    if (r.second) memcpy(r.second, reinterpret_cast<const uint8_t*>(from) + r.first_size, r.second_size);
    sound_buffer_unlock(p->ring);
  }
  p->write_pos = (p->write_pos + bytes) % p->ring_size;
  p->written_frames += n;
  p->last_unplayed = unplayed + bytes;
  if (p->sound_head == p->sound.size()) {
    p->sound.clear();
    p->sound_head = 0;
  }
}

void show_due(movie_player* p) {
  int64_t now = playing_clock(p);
  p->clock = now;
  bool changed = false;
  while (!p->pictures.empty() && p->pictures.front().at_ms <= now) {
    std::vector<uint8_t> bits = std::move(p->pictures.front().bgr);
    p->pictures.pop_front();
    {
      std::lock_guard<std::mutex> g(p->shown_lock);
      p->shown.swap(bits);
      p->has_shown = true;
    }
    p->spare.push_back(std::move(bits));
    changed = true;
  }
  if (changed && p->spec.notify) message_post(p->spec.notify, p->spec.message, 0, 0);
  if (p->finished && p->pictures.empty() && now >= p->end_ms && !p->ended) {
    p->ended = true;
    if (p->ring) sound_buffer_stop(p->ring);
  }
}

void player_free(movie_player* p) {
  if (p->ring) sound_buffer_release(p->ring);
  sws_freeContext(p->scaler);
  swr_free(&p->resampler);
  av_channel_layout_uninit(&p->resampler_layout);
  avcodec_free_context(&p->video.codec);
  avcodec_free_context(&p->audio.codec);
  av_packet_free(&p->packet);
  av_frame_free(&p->frame);
  avformat_close_input(&p->format);
  if (p->io) av_freep(&p->io->buffer);
  avio_context_free(&p->io);
  if (p->fd >= 0) close(p->fd);
  delete p;
}

int io_read(void* opaque, uint8_t* buffer, int size) {
  ssize_t n = read(static_cast<movie_player*>(opaque)->fd, buffer, static_cast<size_t>(size));
  return n > 0 ? static_cast<int>(n) : n == 0 ? AVERROR_EOF : AVERROR(errno);
}

int64_t io_seek(void* opaque, int64_t offset, int whence) {
  int fd = static_cast<movie_player*>(opaque)->fd;
  struct stat st;
  if (whence & AVSEEK_SIZE) return fstat(fd, &st) == 0 ? st.st_size : AVERROR(errno);
  off_t at = lseek(fd, offset, whence & ~AVSEEK_FORCE);
  return at >= 0 ? at : AVERROR(errno);
}

// The containers a game's movie comes in. Any other demuxer (a playlist, a list of files, a picture
// sequence) reads other files or addresses the movie names; a file probed as one is refused.
constexpr const char* MOVIE_DEMUXERS = "avi,asf,mov,matroska,ogg,mpeg,mpegts,mpegvideo";

// A demuxer never opens anything itself (a reference a container names): the movie is its one file.
int io_refuse(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Opens the file for the demuxer: through host_file_open, read by its descriptor; the path only
// hints at the format by its extension. Movies are read as a stream, so any size will do.
bool input_open(movie_player* p) {
  constexpr int IO_BUFFER_SIZE = 65536;
  p->fd = host_file_open(p->spec.path, UINT64_MAX);
  if (p->fd < 0) return false;
  auto* buffer = static_cast<unsigned char*>(av_malloc(IO_BUFFER_SIZE));
  p->io = buffer ? avio_alloc_context(buffer, IO_BUFFER_SIZE, 0, p, io_read, nullptr, io_seek) : nullptr;
  if (!p->io) {
    av_free(buffer);
    return false;
  }
  p->format = avformat_alloc_context();
  if (!p->format) return false;
  p->format->pb = p->io;
  p->format->flags |= AVFMT_FLAG_CUSTOM_IO;
  p->format->io_open = io_refuse;
  // No protocol either, should any open bypass io_open.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", MOVIE_DEMUXERS, 0);
  av_dict_set(&options, "protocol_whitelist", "none", 0);
  int opened = avformat_open_input(&p->format, p->spec.path.c_str(), nullptr, &options);
  av_dict_free(&options);
  return opened >= 0;
}

void thread_run(movie_player* p) {
  while (!p->stop && !p->ended) {
    movie_player_pump(p);
    host_sleep_ms(PUMP_INTERVAL_MS);
  }
}

}  // namespace

movie_player* movie_player_open(const movie_player_spec& spec) {
  av_log_set_level(AV_LOG_QUIET);
  auto* p = new movie_player;
  p->spec = spec;
  p->spec.from_ms = std::max(spec.from_ms, 0);
  if (p->spec.width > WINDOW_SIDE_MAX || p->spec.height > WINDOW_SIDE_MAX) p->spec.width = p->spec.height = 0;
  p->stride = (p->spec.width * 3 + 31) & ~31;
  p->packet = av_packet_alloc();
  p->frame = av_frame_alloc();
  if (!p->packet || !p->frame || !input_open(p) ||
      avformat_find_stream_info(p->format, nullptr) < 0) {
    player_free(p);
    return nullptr;
  }
  decoder_open(p, AVMEDIA_TYPE_VIDEO, p->video);
  decoder_open(p, AVMEDIA_TYPE_AUDIO, p->audio);
  if (!p->video.codec && !p->audio.codec) {
    player_free(p);
    return nullptr;
  }
  if (p->format->start_time != AV_NOPTS_VALUE) p->start_ms = av_rescale(p->format->start_time, 1000, AV_TIME_BASE);
  if (p->video.codec) {
    AVRational rate = p->format->streams[p->video.index]->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0) p->frame_ms = std::max<int64_t>(1, av_rescale(1000, rate.den, rate.num));
  }
  if (p->spec.from_ms > 0) seek_to_start(p);
  if (p->audio.codec && spec.sound_sink && plat().sound_output_open()) {
    p->ring_size = static_cast<uint32_t>(frames_of_ms(RING_MS)) * FRAME_BYTES;
    p->ring = sound_buffer_create(sound_pcm_format{SOUND_OUTPUT_CHANNELS, SOUND_OUTPUT_RATE, 16}, p->ring_size, nullptr);
    if (p->ring) sound_buffer_set_volume(p->ring, spec.volume);
  }
  // Decode up to the first picture or sound: a file that yields nothing is refused.
  bool empty_range = spec.to_ms >= 0 && spec.to_ms <= p->spec.from_ms;
  {
    std::lock_guard<std::mutex> g(p->work);
    while (!p->finished && !p->decoded_any) {
      if (!active(p->video) && !active(p->audio)) pass_end(p);
      else decode_step(p);
    }
  }
  if (!p->decoded_any && !empty_range) {
    player_free(p);
    return nullptr;
  }
  p->wall_start = plat().clock_ms();
  movie_player_pump(p);
  if (p->ring) sound_buffer_play(p->ring, true);
  if (spec.threaded) p->thread = std::thread(thread_run, p);
  return p;
}

void movie_player_close(movie_player* player) {
  if (!player) return;
  player->stop = true;
  if (player->thread.joinable()) player->thread.join();
  player_free(player);
}

void movie_player_pump(movie_player* player) {
  std::lock_guard<std::mutex> g(player->work);
  decode_ahead(player);
  if (player->ring) ring_feed(player);
  show_due(player);
}

bool movie_player_ended(movie_player* player) { return player->ended; }
int64_t movie_player_clock_ms(movie_player* player) { return player->clock; }

bool movie_player_paint(movie_player* player, void (*paint)(const pixel_source& frame, void* context), void* context) {
  std::lock_guard<std::mutex> g(player->shown_lock);
  if (!player->has_shown || player->spec.width <= 0 || player->spec.height <= 0) return false;
  paint(pixel_source{player->shown.data(), player->spec.width, player->spec.height, player->stride, nullptr}, context);
  return true;
}

int64_t movie_player_frames_decoded(movie_player* player) { return player->decoded; }
