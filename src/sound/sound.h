// The sound built-ins and their state: the music slot (with one remembered music), the voice slot,
// four sound-effect slots (sound, sound2, sound3, sound4), 20 voice and 20 sound channels. Each
// holds at most one stream id of the streaming mixer. Levels are 0..1000; a pending level (1000
// when none) applies to the next play, a pending pan (0 when none) likewise. What the mixer gets
// is master x level / 1000, the master being the user's volume setting of the kind.
#pragma once

#include <cstdint>

struct save_header;

constexpr int SOUND_CHANNELS = 20;
constexpr int SOUND_SLOTS = 4;

// The next sound reset does nothing, so music plays on across a restart.
void sound_keep();
// Stops every stream and forgets the names, ids, pending levels and pans (unless kept once);
// current levels stay.
void sound_reset();

// Finds a sound by its base name (folder and extension dropped): ".wav", then ".ogg". 1 with the
// name found in out (260 bytes), or 0 with out empty.
int sound_resolve_file(char* out, const char* name);
// Plays music (a file, a loop part that repeats after it, or "" for none), unless the same names
// play already; an empty file stops the music.
void music(const char* file, const char* loop_part, int loop);
// The message layer's voice code plays a voice through here.
void voice(const char* name, int loop, int force, int male, int mute);
// The sound block of a save file: the playing music and looping sounds, and their levels.
void sound_save_state(save_header& header);
void sound_load_state(const save_header& header);
// The last step of loading: the fourth slot starts again.
void sound4_load_state(const char* file, const char* loop_part, int looping);

// The settings dialogs' hooks: a new master volume for music, sound effects or voices, and the
// music and sound switches applied.
void music_volume_apply(int master);
void sound_volume_apply(int master);
void voice_volume_apply(int master);
void sound_apply_config();

// The built-ins. The slot families take the slot (0 for sound .. 3 for sound4) as a parameter.
int builtin_sound_file_exists(int32_t n, int32_t drop);
int builtin_music_with_loop_part(int32_t n, int32_t drop);
int builtin_music_play(int32_t n, int32_t drop);
int builtin_music_replace(int32_t n, int32_t drop);
int builtin_music_replace_with_loop_part(int32_t n, int32_t drop);
int builtin_music_clear_ended(int32_t n, int32_t drop);
int builtin_music_frequency(int32_t n, int32_t drop);
int builtin_music_push(int32_t n, int32_t drop);
int builtin_music_pop(int32_t n, int32_t drop);
int builtin_music_stop(int32_t n, int32_t drop);
int builtin_music_pause(int32_t n, int32_t drop);
int builtin_music_resume(int32_t n, int32_t drop);
int builtin_music_vol(int32_t n, int32_t drop);
int builtin_music_fade(int32_t n, int32_t drop);
int builtin_music_fadeout(int32_t n, int32_t drop);
int builtin_music_fadeout_wait(int32_t n, int32_t drop);
int builtin_music_stat(int32_t n, int32_t drop);
int builtin_music_wait(int32_t n, int32_t drop);

int builtin_voice_play(int32_t n, int32_t drop);
int builtin_voice_numbered(int32_t n, int32_t drop);
int builtin_voice_stop(int32_t n, int32_t drop);
int builtin_voice_vol(int32_t n, int32_t drop);
int builtin_voice_pan(int32_t n, int32_t drop);
int builtin_voice_fade(int32_t n, int32_t drop);
int builtin_voice_fadeout(int32_t n, int32_t drop);
int builtin_voice_stat(int32_t n, int32_t drop);
int builtin_voice_wait(int32_t n, int32_t drop);
int builtin_voice_get_fn(int32_t n, int32_t drop);

template <int SLOT> int builtin_sound_with_loop_part(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_play(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_stop(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_vol(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_pan(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_fade(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_fadeout(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_stat(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_wait(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_get_fn(int32_t n, int32_t drop);
template <int SLOT> int builtin_sound_is_loop(int32_t n, int32_t drop);

// The channel families: VOICE 1 for voice_ch..., 0 for sound_ch...
template <int VOICE> int builtin_ch_play(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_stop(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_vol(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_pan(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_fade(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_fadeout(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_stat(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_wait(int32_t n, int32_t drop);
template <int VOICE> int builtin_ch_get_fn(int32_t n, int32_t drop);

// What the slots hold (tests): a slot's stream id, current and pending level, by slot name
// ("music", "voice", "sound".."sound4", "voice_ch", "sound_ch" with the channel).
struct sound_slot_view {
  int32_t id;
  int32_t level;
  int32_t pending;
  int32_t pending_pan;
};
sound_slot_view sound_slot_get(const char* slot, int channel = 0);
// The module's reset (tests): every slot as at start, levels 1000, the keep flag cleared.
void sound_state_reset();
