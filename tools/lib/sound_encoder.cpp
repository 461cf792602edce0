#include "sound_encoder.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>

std::vector<int16_t> sine_frames(int channels, int rate, double hz, double seconds, double amplitude) {
  size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> out(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (int ch = 0; ch < channels; ++ch)
      out[i * channels + ch] =
          static_cast<int16_t>(std::lrint(amplitude * 32767 * std::sin(2 * M_PI * hz * i / rate + ch * M_PI / 2)));
  return out;
}

static void put_le(std::string& s, uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) s += static_cast<char>(value >> (8 * k));
}

std::string wav_format_block(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytes_per_second,
                             uint16_t block_align, uint16_t bits, const std::string& extra, bool with_extra) {
  std::string b;
  put_le(b, tag, 2);
  put_le(b, channels, 2);
  put_le(b, rate, 4);
  put_le(b, bytes_per_second, 4);
  put_le(b, block_align, 2);
  put_le(b, bits, 2);
  if (with_extra || !extra.empty()) {
    put_le(b, static_cast<uint32_t>(extra.size()), 2);
    b += extra;
  }
  return b;
}

std::string wav_file(const std::vector<std::pair<std::string, std::string>>& chunks, bool pad) {
  std::string body = "WAVE";
  for (const auto& [id, data] : chunks) {
    body += id.substr(0, 4);
    put_le(body, static_cast<uint32_t>(data.size()), 4);
    body += data;
    if (pad && data.size() % 2 == 1) body += '\0';
  }
  std::string file = "RIFF";
  put_le(file, static_cast<uint32_t>(body.size()), 4);
  return file + body;
}

std::string wav_pcm16(const std::vector<int16_t>& frames, int channels, int rate) {
  std::string data(reinterpret_cast<const char*>(frames.data()), frames.size() * 2);
  uint16_t align = static_cast<uint16_t>(channels * 2);
  return wav_file({{"fmt ", wav_format_block(1, static_cast<uint16_t>(channels), static_cast<uint32_t>(rate),
                                              static_cast<uint32_t>(rate) * align, align, 16)},
                   {"data", data}});
}

std::string vorbis_encode(const std::vector<int16_t>& frames, int channels, int rate, float quality, int serial) {
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
    vorbis_info_clear(&info);
    return "";
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);
  std::string out;
  ogg_page page;
  auto flush_pages = [&](bool force) {
    while (force ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
      out.append(reinterpret_cast<const char*>(page.header), page.header_len);
      out.append(reinterpret_cast<const char*>(page.body), page.body_len);
    }
  };
  ogg_packet header, header_comment, header_code;
  vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &header_comment);
  ogg_stream_packetin(&stream, &header_code);
  flush_pages(true);  // audio starts on a fresh page
  size_t total = frames.size() / channels;
  for (size_t at = 0;; at += 1024) {
    size_t n = total > at ? std::min<size_t>(1024, total - at) : 0;
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
      for (size_t i = 0; i < n; ++i)
        for (int ch = 0; ch < channels; ++ch) buffer[ch][i] = frames[(at + i) * channels + ch] / 32768.0f;
    }
    vorbis_analysis_wrote(&dsp, static_cast<int>(n));  // 0 marks the end
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        flush_pages(false);
      }
    }
    if (n == 0) break;
  }
  flush_pages(true);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}
