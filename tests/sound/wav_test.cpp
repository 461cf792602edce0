// The WAV reader and the MS-ADPCM decoder: files that sox writes at test time decode to exactly the
// samples sox's own decode gives; damaged files fail cleanly.
#include <map>

#include "archive_writer.h"
#include "sound/wav_reader.h"
#include "sound_encoder.h"
#include "sound_fixture.h"

namespace {

using chunk_list = std::vector<std::pair<std::string, std::string>>;

// The chunks of a RIFF file (pads skipped), to splice others in.
chunk_list chunks_of(const std::string& file) {
  chunk_list out;
  for (size_t at = 12; at + 8 <= file.size();) {
    uint32_t size;
    memcpy(&size, file.data() + at + 4, 4);
    out.push_back({file.substr(at, 4), file.substr(at + 8, size)});
    at += 8 + size + size % 2;
  }
  return out;
}

class wav_test : public sound_test {
 protected:
  std::string bytes_of(const std::string& name) {
    FILE* f = fopen(dir.at(name).c_str(), "rb");
    std::string data = read_rest(f);
    fclose(f);
    return data;
  }
  // Opens a game file and reads its data as the mixer's fill does, chunk by chunk, decoded.
  std::vector<int16_t> play_through(const char* name, int* result, sound_stream* kept = nullptr) {
    sound_stream s = stream_named(name);
    *result = stream_open_wav(&s, name, s.resolved_file);
    std::vector<int16_t> samples;
    if (*result == 0) {
      std::vector<uint8_t> in(s.source_chunk), out(4 * s.source_chunk);
      bool adpcm = wave_format_read(s.source_format, s.source_format_size).format_tag == WAVE_FORMAT_MSADPCM;
      bool eight = s.output_format->bits_per_sample == 8;
      while (s.consumed < s.data_size) {
        int want = std::min(s.source_chunk, s.data_size - s.consumed);
        int got = static_cast<int>(sound_source_read(s.resolved_file, s.data_offset + s.consumed, in.data(), want));
        EXPECT_EQ(got, want);
        if (got <= 0) break;
        int n = adpcm ? msadpcm_decode(s.source_format, s.source_format_size, in.data(), s.output_format, out.data(), got)
                      : got;
        const uint8_t* pcm = adpcm ? out.data() : in.data();
        for (int i = 0; i < n; i += eight ? 1 : 2)
          samples.push_back(static_cast<int16_t>(eight ? (pcm[i] - 128) * 256 : pcm[i] | pcm[i + 1] << 8));
        s.consumed += got;
      }
    }
    if (kept)
      *kept = s;
    else
      sound_stream_decoding_free(&s);
    return samples;
  }
};

TEST_F(wav_test, SoxFilesDecodeToSoxsOwnSamplesWithListAndOddChunksBetween) {
  const std::map<std::string, std::string> made = {
      {"pcm_m22.wav", "-r 22050 -c 1 -b 16"}, {"pcm_s44.wav", "-r 44100 -c 2 -b 16"},
      {"pcm8_m11.wav", "-r 11025 -c 1 -b 8"}, {"adpcm_m22.wav", "-r 22050 -c 1 -e ms-adpcm"},
      {"adpcm_s44.wav", "-r 44100 -c 2 -e ms-adpcm"}, {"adpcm_s8k.wav", "-r 8000 -c 2 -e ms-adpcm"},
  };
  for (const auto& [name, args] : made) {
    ASSERT_TRUE(sox("-n " + args + " " + name + " synth 0.9 sine 300-3000 sine 440 vol 0.9")) << name;
    // The same samples with a LIST chunk and an odd-sized chunk (padded, and not) before the data.
    chunk_list chunks = chunks_of(bytes_of(name));
    chunks.insert(chunks.begin() + 1, {{"LIST", std::string("INFOICMT\4\0\0\0abc\0", 16)}, {"junk", "odd"}});
    dir.write("list_" + name, wav_file(chunks, true));
    dir.write("nopad_" + name, wav_file(chunks, false));
    std::vector<int16_t> expected = sox_decode(name);
    ASSERT_FALSE(expected.empty());
    for (const std::string& variant : {name, "list_" + name, "nopad_" + name}) {
      int result;
      std::vector<int16_t> ours = play_through(variant.c_str(), &result);
      ASSERT_EQ(result, 0) << variant;
      EXPECT_EQ(ours, expected) << variant;
    }
    EXPECT_EQ(sox_decode("list_" + name), expected) << name;
  }
}

TEST_F(wav_test, ChunkSizesFollowTheFormat) {
  struct {
    const char* name;
    std::string format;
    int32_t source_chunk, output_chunk;
    uint16_t channels, block_align;
  } cases[] = {
      {"m22.wav", wav_format_block(1, 1, 22050, 44100, 2, 16), 35280, 35280, 1, 2},
      {"s44_24.wav", wav_format_block(1, 2, 44100, 264600, 6, 24), 35280, 35280, 2, 6},
      {"odd_align.wav", wav_format_block(1, 1, 8000, 8000 * 7, 7, 16), 35280 - 35280 % 7, 35280 - 35280 % 7, 1, 7},
      {"adpcm.wav", wav_format_block(2, 2, 22050, 22311, 1024, 4, std::string("\xf4\x03\x01\x00\x00\x01\x00\x00", 8)),
       8192, 32768, 2, 4},
      {"ima.wav", wav_format_block(0x11, 1, 22050, 11100, 512, 4, std::string("\xf9\x03", 2)), 8704, 34816, 1, 2},
  };
  for (const auto& c : cases) {
    dir.write(c.name, wav_file({{"fmt ", c.format}, {"data", std::string(7, '\1')}}));
    sound_stream s = stream_named(c.name);
    ASSERT_EQ(stream_open_wav(&s, c.name, s.resolved_file), 0) << c.name;
    EXPECT_EQ(s.source_chunk, c.source_chunk) << c.name;
    EXPECT_EQ(s.output_chunk, c.output_chunk) << c.name;
    EXPECT_EQ(s.output_format->channels, c.channels) << c.name;
    EXPECT_EQ(s.output_format->block_align, c.block_align) << c.name;
    uint32_t align = wave_format_read(s.source_format, s.source_format_size).block_align;
    EXPECT_EQ(s.data_size, static_cast<int32_t>(7 - 7 % align)) << c.name;  // whole blocks only
    EXPECT_EQ(s.data_offset, 12 + 8 + static_cast<int64_t>(c.format.size() + c.format.size() % 2) + 8) << c.name;
    sound_stream_decoding_free(&s);
  }
}

TEST_F(wav_test, DamagedAndAbsurdFilesFailWithoutReadingPastTheirBytes) {
  const std::string fmt = wav_format_block(1, 1, 22050, 44100, 2, 16);
  const std::string good = wav_file({{"fmt ", fmt}, {"data", std::string(64, '\2')}});
  auto patched = [](std::string s, size_t at, uint32_t value) {
    memcpy(&s[at], &value, 4);
    return s;
  };
  const std::string coefficients = std::string("\xf4\x03\x07\x00", 4) + std::string(8, '\0');  // 7 pairs, 2 given
  // An empty entry is a file that does not exist.
  const std::map<std::string, std::string> damaged = {
      {"missing.wav", ""},
      {"riff_only.wav", good.substr(0, 10)},
      {"data_first.wav", wav_file({{"data", "abcd"}, {"fmt ", fmt}})},
      {"short_fmt.wav", wav_file({{"fmt ", fmt.substr(0, 14)}, {"data", "abcd"}})},
      {"align_zero.wav", wav_file({{"fmt ", wav_format_block(1, 1, 22050, 44100, 0, 16)}, {"data", "abcd"}})},
      {"no_rate.wav", wav_file({{"fmt ", wav_format_block(1, 1, 22050, 0, 2, 16)}, {"data", "abcd"}})},
      {"no_channels.wav", wav_file({{"fmt ", wav_format_block(2, 0, 22050, 100, 256, 4, coefficients)}, {"data", "ab"}})},
      {"coefficients.wav", wav_file({{"fmt ", wav_format_block(2, 1, 22050, 100, 256, 4, coefficients)}, {"data", "ab"}})},
      {"fmt_beyond.wav", patched(good, 16, 0xFFFFFFF0u)},
      {"list_beyond.wav", wav_file({{"fmt ", fmt}, {"LIST", "x"}}).substr(0, 44) + "\xff\xff\xff\x7f"},
      {"no_data.wav", wav_file({{"fmt ", fmt}})},
      {"cut_header.wav", good.substr(0, 40)},
  };
  int result;
  for (const auto& [name, bytes] : damaged) {
    if (!bytes.empty()) dir.write(name, bytes);
    play_through(name.c_str(), &result);
    EXPECT_EQ(result, 1) << name;
  }
  // Sample data stated longer than the file (cut, or never filled in) plays what the file holds.
  const std::pair<std::string, std::string> long_data[] = {
      {"data_beyond.wav", patched(good, 40, 100000)},
      {"data_unset.wav", patched(good, 40, 0xFFFFFFFFu)},
      {"data_cut.wav", good.substr(0, good.size() - 3)},
  };
  for (const auto& [name, bytes] : long_data) {
    dir.write(name, bytes);
    size_t held = (bytes.size() - 44) / 2;
    EXPECT_EQ(play_through(name.c_str(), &result), std::vector<int16_t>(held, 0x0202)) << name;
    EXPECT_EQ(result, 0) << name;
  }
  sound_stream s = stream_named("tune.ogg");
  EXPECT_EQ(stream_open_wav(&s, "tune.ogg", s.resolved_file), -1);
  EXPECT_TRUE(platform.boxes.empty());  // failures are the mixer's to report

  // In an archive, sample data stated past its entry stops at the entry: never the next one's bytes.
  ASSERT_TRUE(archive_write(dir.at("voice.arc"), archive_version::v2,
                            {{"long.wav", patched(good, 40, 200)}, {"next.wav", std::string(4000, '\3')}}));
  data_base_folder_set("");
  ASSERT_EQ(data_source_add(engine_path_from_host(dir.at("voice")).c_str(), 0), DATA_SOURCE_ARCHIVE32);
  EXPECT_EQ(play_through("long.wav", &result), std::vector<int16_t>(32, 0x0202));
  EXPECT_EQ(result, 0);
}

TEST_F(wav_test, AdpcmBlocksAreSteppedByBlockAlignAndCutInputGivesTheFramesMade) {
  ASSERT_TRUE(sox("-n -r 22050 -c 2 -e ms-adpcm st.wav synth 0.3 sine 500 sine 700"));
  int result;
  sound_stream s;
  std::vector<int16_t> whole = play_through("st.wav", &result, &s);
  ASSERT_EQ(result, 0);
  const uint32_t align = wave_format_read(s.source_format, s.source_format_size).block_align;
  std::string data = chunks_of(bytes_of("st.wav")).back().second;
  ASSERT_EQ(data.size() % align, 0u);
  auto decode = [&](const std::string& fmt, const std::string& in) {
    std::vector<uint8_t> out(4 * in.size() + 4);
    int n = msadpcm_decode(reinterpret_cast<const uint8_t*>(fmt.data()), static_cast<uint32_t>(fmt.size()),
                           reinterpret_cast<const uint8_t*>(in.data()), s.output_format, out.data(),
                           static_cast<int>(in.size()));
    const int16_t* pcm = reinterpret_cast<const int16_t*>(out.data());
    return std::vector<int16_t>(pcm, pcm + std::max(n, 0) / 2);
  };
  std::string fmt(reinterpret_cast<const char*>(s.source_format), s.source_format_size);

  // Blocks spaced wider than they need (8 spare bytes after each) give the same samples.
  std::string wide_fmt = fmt, wide;
  uint16_t wide_align = static_cast<uint16_t>(align + 8);
  memcpy(&wide_fmt[12], &wide_align, 2);
  for (size_t at = 0; at < data.size(); at += align) wide += data.substr(at, align) + std::string(8, 'x');
  EXPECT_EQ(decode(wide_fmt, wide), whole);

  // Input ending inside the second block: the first block and the second's frames so far.
  int per_block = static_cast<uint8_t>(fmt[18]) | static_cast<uint8_t>(fmt[19]) << 8;
  EXPECT_EQ(decode(fmt, data.substr(0, align + 14 + 10)),
            std::vector<int16_t>(whole.begin(), whole.begin() + 2 * (per_block + 2 + 10)));
  EXPECT_EQ(decode(fmt, data.substr(0, 13)), std::vector<int16_t>());  // not even a block header

  // A predictor beyond the file's coefficients silences the whole chunk.
  std::string bad = data.substr(0, 2 * align);
  bad[align] = 7;
  EXPECT_EQ(decode(fmt, bad), std::vector<int16_t>());
  sound_stream_decoding_free(&s);
}

}  // namespace
