#include "sound/sound.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/cp932.h"
#include "base/datasource.h"
#include "save/save_header.h"
#include "shell/settings.h"
#include "sound/dsound.h"
#include "sound/sound_stream.h"
#include "sound/stream_mixer.h"
#include "text/msg_control.h"
#include "vm/debug_log.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr int FULL = 1000;
constexpr int NAME = SOUND_NAME_SIZE;

struct music_slot {
  int32_t id;
  char file[NAME], loop_part[NAME];
  int loop;
  int32_t level, pending;
};
struct remembered_music {
  char file[NAME], loop_part[NAME];
  int loop;
};
struct voice_slot {
  int32_t id;
  char last_name[NAME];  // as the script gave it
  int32_t level, pending, pending_pan;
};
struct effect_slot {
  int32_t id;
  char file[NAME], loop_part[NAME];
  int looping;
  int32_t level, pending, pending_pan;
};
struct channel {
  int32_t id;
  char name[NAME];      // as the script gave it
  int32_t pending_pan;  // voice channels only
};
struct channel_family {
  channel ch[SOUND_CHANNELS];
  int32_t pending;      // one level for every channel of the family
  int32_t pending_pan;  // sound channels only
};

const char* const SLOT_NAMES[SOUND_SLOTS] = {"sound", "sound2", "sound3", "sound4"};
const char* const MISSING = "%s : ファイル[%s]が存在しません";

}  // namespace

// Module state.
static struct {
  music_slot music;
  remembered_music pushed;
  voice_slot voice;
  effect_slot slots[SOUND_SLOTS];
  channel_family families[2];  // 0 sound channels, 1 voice channels
  bool keep;
} snd;

static void name_set(char* to, const char* from) { cp932_copy(to, NAME, from ? from : ""); }

static int32_t scaled(int master, int32_t level) { return static_cast<int32_t>(int64_t{master} * level / FULL); }

static bool usable() { return dsound_ensure_init() == 0; }

int sound_resolve_file(char* out, const char* name) {
  // The base name: what follows the last folder separator, up to its last dot.
  const char* base = name;
  for (const char* p = name; *p; p += cp932_char_len(p))
    if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
  const char* dot = cp932_strrchr(base, '.');
  std::string stem(base, dot ? static_cast<size_t>(dot - base) : strlen(base));
  stem.resize(cp932_cut_length(stem, NAME - 5));
  for (const char* ext : {".wav", ".ogg"}) {
    std::string candidate = stem + ext;
    if (!stem.empty() && data_file_exists(candidate.c_str())) {
      name_set(out, candidate.c_str());
      return 1;
    }
  }
  out[0] = '\0';
  return 0;
}

static void sound_log_error(const char* prefix, const char* name) {
  char text[2 * NAME + 64];
  snprintf(text, sizeof text, MISSING, prefix, name);
  if (report_no_voice()) script_error("%s", text);
  if (log_no_voice()) debug_log_append(text);
}

// Resolves a file and an optional loop part, reporting the one that is missing.
static bool resolve_pair(const char* prefix, const char* file, const char* loop_part, char* f, char* l) {
  l[0] = '\0';
  if (!sound_resolve_file(f, file)) {
    sound_log_error(prefix, file);
    return false;
  }
  if (loop_part[0] && !sound_resolve_file(l, loop_part)) {
    sound_log_error(prefix, loop_part);
    return false;
  }
  return true;
}

// ---- Music

static void music_forget(bool level_zero) {
  stream_stop(snd.music.id);
  snd.music.id = 0;
  if (level_zero) snd.music.level = 0;
  snd.music.pending = FULL;
  snd.music.file[0] = snd.music.loop_part[0] = '\0';
}

void music(const char* file, const char* loop_part, int loop) {
  if (!file[0]) {
    music_forget(false);
    return;
  }
  char f[NAME], l[NAME];
  if (!resolve_pair("music", file, loop_part, f, l)) return;
  if (stream_status(snd.music.id) != 0 && cp932_iequal(f, snd.music.file) && cp932_iequal(l, snd.music.loop_part))
    return;
  name_set(snd.music.file, f);
  name_set(snd.music.loop_part, l);
  snd.music.loop = loop;
  stream_stop(snd.music.id);
  snd.music.id = 0;
  if (!force_skip_get()) snd.music.id = stream_play(f, l, scaled(music_volume_effective(), snd.music.pending), loop);
  snd.music.level = snd.music.pending;
  snd.music.pending = FULL;
}

static void music_queue(const char* file, const char* loop_part, int loop) {
  char f[NAME], l[NAME];
  if (!resolve_pair("music_replace", file, loop_part, f, l)) return;
  name_set(snd.music.file, f);
  name_set(snd.music.loop_part, l);
  snd.music.loop = loop;
  if (!force_skip_get()) stream_queue_next(snd.music.id, f, l, loop);
}

// Optional argument k, or its default.
static int32_t arg_or(int32_t n, int32_t k, int32_t fallback) { return n >= k ? builtin_arg_int(k) : fallback; }

static int done() {
  push_int(0);
  return 0;
}

// The waits: over at once while skipping (the stream stops), else every 10 ms until the stream's
// end has been heard or it is gone.
static int wait_on(int32_t& id) {
  call_frame* f = vm_frame;
  if (is_skipping()) {
    stream_stop(id);
    id = 0;
  } else if (stream_status(id) == 1) {
    f->wait_deadline = wait_deadline_after(vm_time_get(), 10);
    return 1;
  }
  f->wait_deadline = WAIT_NONE;
  return done();
}

static int32_t fade_ms(int32_t ms) { return is_skipping() ? 0 : ms; }

int builtin_sound_file_exists(int32_t, int32_t) {
  char found[NAME];
  push_int(sound_resolve_file(found, builtin_arg_text(1)));
  return 0;
}

int builtin_music_with_loop_part(int32_t, int32_t) {
  music(builtin_arg_text(1), builtin_arg_text(2), 1);
  return done();
}

int builtin_music_play(int32_t n, int32_t) {
  music(builtin_arg_text(1), "", arg_or(n, 2, 1));
  return done();
}

int builtin_music_replace(int32_t n, int32_t) {
  music_queue(builtin_arg_text(1), "", arg_or(n, 2, 1));
  return done();
}

int builtin_music_replace_with_loop_part(int32_t, int32_t) {
  music_queue(builtin_arg_text(1), builtin_arg_text(2), 1);
  return done();
}

int builtin_music_clear_ended(int32_t, int32_t) {
  stream_clear_ended(snd.music.id);
  return done();
}

int builtin_music_frequency(int32_t, int32_t) {
  stream_set_frequency(snd.music.id, builtin_arg_int(1));
  return done();
}

int builtin_music_push(int32_t, int32_t) {
  name_set(snd.pushed.file, snd.music.file);
  name_set(snd.pushed.loop_part, snd.music.loop_part);
  snd.pushed.loop = snd.music.loop;
  return done();
}

int builtin_music_pop(int32_t, int32_t) {
  const remembered_music& p = snd.pushed;
  bool same = cp932_iequal(p.file, snd.music.file) && cp932_iequal(p.loop_part, snd.music.loop_part) &&
              p.loop == snd.music.loop;
  if (same) return done();
  if (p.file[0]) {
    remembered_music copy = p;  // music() may change the slot it came from
    music(copy.file, copy.loop_part, copy.loop);
  } else {
    music_forget(false);
  }
  return done();
}

int builtin_music_stop(int32_t, int32_t) {
  music_forget(false);
  return done();
}

int builtin_music_pause(int32_t, int32_t) {
  stream_pause(snd.music.id);
  return done();
}

int builtin_music_resume(int32_t, int32_t) {
  stream_resume(snd.music.id);
  return done();
}

int builtin_music_vol(int32_t, int32_t) {
  int32_t level = builtin_arg_int(1);
  if (stream_status(snd.music.id) != 0) {
    snd.music.level = level;
    stream_set_volume(snd.music.id, scaled(music_volume_effective(), level));
  } else {
    snd.music.pending = level;
  }
  return done();
}

int builtin_music_fade(int32_t, int32_t) {
  snd.music.level = builtin_arg_int(1);
  stream_fade(snd.music.id, scaled(music_volume_effective(), snd.music.level), builtin_arg_int(2));
  return done();
}

int builtin_music_fadeout(int32_t, int32_t) {
  stream_fade_out(snd.music.id, 0, fade_ms(builtin_arg_int(1)));
  snd.music.id = 0;  // the fade goes on; the slot forgets it
  music_forget(true);
  return done();
}

int builtin_music_fadeout_wait(int32_t, int32_t) {
  call_frame* f = vm_frame;
  int32_t now = vm_time_get();
  if (f->wait_deadline == WAIT_NONE) {
    int32_t ms = builtin_arg_int(1);
    if (ms != 0 && !is_skipping()) {
      stream_fade_out(snd.music.id, 0, ms);
      snd.music.id = 0;
      music_forget(true);
      f->wait_deadline = wait_deadline_after(now, ms);
      return 1;
    }
    stream_stop(snd.music.id);
    snd.music.id = 0;
    return done();
  }
  if (!wait_deadline_reached(f->wait_deadline, now)) return 1;
  f->wait_deadline = WAIT_NONE;
  return done();
}

int builtin_music_stat(int32_t, int32_t) {
  push_int(usable() ? stream_status(snd.music.id) : 0);
  return 0;
}

int builtin_music_wait(int32_t, int32_t) { return wait_on(snd.music.id); }

// ---- Voice

void voice(const char* name, int loop, int force, int male, int mute) {
  bool may = !mute;
  if (!force && !mute) may = (male ? male_voice_volume() : female_voice_volume()) != 0 && voice_volume_get() != 0;
  if (cp932_iequal(name, "##nw##")) return;  // "no wait": the voice that plays goes on
  stream_stop(snd.voice.id);
  snd.voice.id = 0;
  char f[NAME];
  if (!sound_resolve_file(f, name)) {
    sound_log_error("voice", name);
  } else if (may && (loop || !is_skipping())) {
    int32_t pan = snd.voice.pending_pan;
    if (fast_voice_play()) stream_set_next_fast();
    if (pan) stream_set_next_pan(pan);
    snd.voice.id = stream_play_simple(f, scaled(voice_volume_get(), snd.voice.pending), loop);
    if (pan) stream_set_pan(snd.voice.id, pan);
  }
  snd.voice.pending_pan = 0;
  snd.voice.level = snd.voice.pending;
  snd.voice.pending = FULL;
}

int builtin_voice_play(int32_t n, int32_t) {
  if (usable()) {
    name_set(snd.voice.last_name, builtin_arg_text(1));
    voice(builtin_arg_text(1), arg_or(n, 2, 0), 1, 0, 0);
  }
  return done();
}

int builtin_voice_numbered(int32_t n, int32_t) {
  if (usable()) {
    const char* name = builtin_arg_text(1);
    name_set(snd.voice.last_name, name);
    char code[NAME + 16];
    snprintf(code, sizeof code, "v%01d%s", arg_or(n, 2, 0), name);
    msg_control_exec(code, 1);
  }
  return done();
}

int builtin_voice_stop(int32_t, int32_t) {
  stream_stop(snd.voice.id);
  snd.voice.id = 0;
  snd.voice.pending = FULL;
  return done();
}

int builtin_voice_vol(int32_t, int32_t) {
  if (usable()) {
    int32_t level = builtin_arg_int(1);
    if (stream_status(snd.voice.id) != 0) {
      snd.voice.level = level;
      stream_set_volume(snd.voice.id, scaled(voice_volume_get(), level));
    } else {
      snd.voice.pending = level;
    }
  }
  return done();
}

int builtin_voice_pan(int32_t, int32_t) {
  if (usable()) {
    if (stream_status(snd.voice.id) != 0)
      stream_set_pan(snd.voice.id, builtin_arg_int(1));
    else
      snd.voice.pending_pan = builtin_arg_int(1);
  }
  return done();
}

int builtin_voice_fade(int32_t, int32_t) {
  stream_fade(snd.voice.id, scaled(voice_volume_get(), builtin_arg_int(1)), builtin_arg_int(2));
  return done();
}

int builtin_voice_fadeout(int32_t, int32_t) {
  stream_fade_out(snd.voice.id, 0, fade_ms(builtin_arg_int(1)));
  snd.voice.id = 0;
  snd.voice.level = 0;
  snd.voice.pending = FULL;
  return done();
}

int builtin_voice_stat(int32_t, int32_t) {
  push_int(usable() ? stream_status(snd.voice.id) : 0);
  return 0;
}

int builtin_voice_wait(int32_t, int32_t) { return wait_on(snd.voice.id); }

int builtin_voice_get_fn(int32_t, int32_t) {
  push_string(snd.voice.last_name);
  return 0;
}

// ---- Sound slots

// Plays a slot (prefix names it in reports): the names are stored, and the pending level and pan
// are used up.
static void slot_play(int k, const char* file, const char* loop_part, int looping) {
  if (!usable()) return;
  effect_slot& s = snd.slots[k];
  stream_stop(s.id);
  s.id = 0;
  s.looping = looping;
  s.file[0] = s.loop_part[0] = '\0';
  char f[NAME], l[NAME];
  if (!resolve_pair(SLOT_NAMES[k], file, loop_part, f, l)) return;
  name_set(s.file, f);
  name_set(s.loop_part, l);
  if (sound_volume_effective() && !force_skip_get()) {
    s.id = stream_play(f, l, scaled(sound_volume_get(), s.pending), looping);
    if (s.pending_pan) stream_set_pan(s.id, s.pending_pan);
  }
  s.level = s.pending;
  s.pending = FULL;
  s.pending_pan = 0;
}

template <int K>
int builtin_sound_with_loop_part(int32_t, int32_t) {
  slot_play(K, builtin_arg_text(1), builtin_arg_text(2), 1);
  return done();
}

template <int K>
int builtin_sound_play(int32_t n, int32_t) {
  slot_play(K, builtin_arg_text(1), "", arg_or(n, 2, 0));
  return done();
}

template <int K>
int builtin_sound_stop(int32_t, int32_t) {
  stream_stop(snd.slots[K].id);
  snd.slots[K].id = 0;
  snd.slots[K].pending = FULL;
  return done();
}

// The first slot keeps a level in its pending level and sets its stream at once; the others act
// like the music slot.
template <int K>
int builtin_sound_vol(int32_t, int32_t) {
  effect_slot& s = snd.slots[K];
  int32_t level = builtin_arg_int(1);
  if (K == 0) {
    s.pending = level;
    stream_set_volume(s.id, scaled(sound_volume_get(), level));
  } else if (stream_status(s.id) != 0) {
    s.level = level;
    stream_set_volume(s.id, scaled(sound_volume_get(), level));
  } else {
    s.pending = level;
  }
  return done();
}

template <int K>
int builtin_sound_pan(int32_t, int32_t) {
  snd.slots[K].pending_pan = builtin_arg_int(1);
  stream_set_pan(snd.slots[K].id, builtin_arg_int(1));
  return done();
}

template <int K>
int builtin_sound_fade(int32_t, int32_t) {
  effect_slot& s = snd.slots[K];
  int32_t level = builtin_arg_int(1);
  (K == 0 ? s.pending : s.level) = level;
  stream_fade(s.id, scaled(sound_volume_get(), level), builtin_arg_int(2));
  return done();
}

template <int K>
int builtin_sound_fadeout(int32_t, int32_t) {
  effect_slot& s = snd.slots[K];
  stream_fade_out(s.id, 0, fade_ms(builtin_arg_int(1)));
  s.id = 0;
  s.pending = FULL;
  if (K != 0) s.level = 0;
  return done();
}

template <int K>
int builtin_sound_stat(int32_t, int32_t) {
  push_int(usable() ? stream_status(snd.slots[K].id) : 0);
  return 0;
}

template <int K>
int builtin_sound_wait(int32_t, int32_t) {
  return wait_on(snd.slots[K].id);
}

template <int K>
int builtin_sound_get_fn(int32_t, int32_t) {
  push_string(stream_status(snd.slots[K].id) == 1 ? snd.slots[K].file : "");
  return 0;
}

template <int K>
int builtin_sound_is_loop(int32_t, int32_t) {
  push_int(snd.slots[K].id ? snd.slots[K].looping : 0);
  return 0;
}

#define SOUND_SLOT_INSTANCES(K)                                  \
  template int builtin_sound_with_loop_part<K>(int32_t, int32_t); \
  template int builtin_sound_play<K>(int32_t, int32_t);           \
  template int builtin_sound_stop<K>(int32_t, int32_t);           \
  template int builtin_sound_vol<K>(int32_t, int32_t);            \
  template int builtin_sound_pan<K>(int32_t, int32_t);            \
  template int builtin_sound_fade<K>(int32_t, int32_t);           \
  template int builtin_sound_fadeout<K>(int32_t, int32_t);        \
  template int builtin_sound_stat<K>(int32_t, int32_t);           \
  template int builtin_sound_wait<K>(int32_t, int32_t);           \
  template int builtin_sound_get_fn<K>(int32_t, int32_t);         \
  template int builtin_sound_is_loop<K>(int32_t, int32_t);
SOUND_SLOT_INSTANCES(0)
SOUND_SLOT_INSTANCES(1)
SOUND_SLOT_INSTANCES(2)
SOUND_SLOT_INSTANCES(3)

// ---- Channels

static const char* family_name(int voice, const char* member) {
  static thread_local char name[32];
  snprintf(name, sizeof name, "%s_ch%s", voice ? "voice" : "sound", member);
  return name;
}

// The channel of argument 1, or null after reporting a number out of range.
static channel* channel_arg(int voice, const char* member) {
  int32_t ch = builtin_arg_int(1);
  if (ch >= 0 && ch < SOUND_CHANNELS) return &snd.families[voice].ch[ch];
  script_error("%s : chは0～%dです", family_name(voice, member), SOUND_CHANNELS - 1);
  return nullptr;
}

static int voice_master(int voice) { return voice ? voice_volume_get() : sound_volume_get(); }

template <int V>
int builtin_ch_play(int32_t n, int32_t) {
  channel* c = channel_arg(V, "");
  if (!c || !usable()) return done();
  channel_family& fam = snd.families[V];
  stream_stop(c->id);
  c->id = 0;
  name_set(c->name, builtin_arg_text(2));
  int loop = arg_or(n, 3, 0);
  char f[NAME];
  if (!sound_resolve_file(f, builtin_arg_text(2))) {
    sound_log_error(family_name(V, ""), builtin_arg_text(2));
  } else if (V && female_voice_volume() && (!is_skipping() || loop)) {
    if (c->pending_pan) stream_set_next_pan(c->pending_pan);
    c->id = stream_play_simple(f, scaled(voice_volume_get(), fam.pending), loop);
    if (c->pending_pan) stream_set_pan(c->id, c->pending_pan);
    c->pending_pan = 0;
  } else if (!V && sound_volume_effective() && !force_skip_get()) {
    c->id = stream_play_simple(f, scaled(sound_volume_get(), fam.pending), loop);
    if (fam.pending_pan) stream_set_pan(c->id, fam.pending_pan);
    fam.pending_pan = 0;
  }
  fam.pending = FULL;
  return done();
}

template <int V>
int builtin_ch_stop(int32_t, int32_t) {
  if (channel* c = channel_arg(V, "_stop")) {
    stream_stop(c->id);
    c->id = 0;
    snd.families[V].pending = FULL;
  }
  return done();
}

template <int V>
int builtin_ch_vol(int32_t, int32_t) {
  channel* c = channel_arg(V, "_vol");
  if (c && usable()) {
    snd.families[V].pending = builtin_arg_int(2);
    stream_set_volume(c->id, scaled(voice_master(V), builtin_arg_int(2)));
  }
  return done();
}

template <int V>
int builtin_ch_pan(int32_t, int32_t) {
  channel* c = channel_arg(V, "_pan");
  if (!c) return done();
  int32_t pan = builtin_arg_int(2);
  if (!V) {
    snd.families[V].pending_pan = pan;
    stream_set_pan(c->id, pan);
  } else if (stream_status(c->id) != 0) {
    stream_set_pan(c->id, pan);
  } else {
    c->pending_pan = pan;
  }
  return done();
}

template <int V>
int builtin_ch_fade(int32_t, int32_t) {
  if (channel* c = channel_arg(V, "_fade"))
    stream_fade(c->id, scaled(voice_master(V), builtin_arg_int(2)), builtin_arg_int(3));
  return done();
}

template <int V>
int builtin_ch_fadeout(int32_t, int32_t) {
  if (channel* c = channel_arg(V, "_fadeout")) {
    stream_fade_out(c->id, 0, fade_ms(builtin_arg_int(2)));
    c->id = 0;
    snd.families[V].pending = FULL;
  }
  return done();
}

template <int V>
int builtin_ch_stat(int32_t, int32_t) {
  channel* c = channel_arg(V, "_stat");
  push_int(c && usable() ? stream_status(c->id) : 0);
  return 0;
}

template <int V>
int builtin_ch_wait(int32_t, int32_t) {
  channel* c = channel_arg(V, "_wait");
  return c ? wait_on(c->id) : done();
}

template <int V>
int builtin_ch_get_fn(int32_t, int32_t) {
  channel* c = channel_arg(V, "_get_fn");
  push_string(c ? c->name : "");
  return 0;
}

#define SOUND_CHANNEL_INSTANCES(V)                     \
  template int builtin_ch_play<V>(int32_t, int32_t);    \
  template int builtin_ch_stop<V>(int32_t, int32_t);    \
  template int builtin_ch_vol<V>(int32_t, int32_t);     \
  template int builtin_ch_pan<V>(int32_t, int32_t);     \
  template int builtin_ch_fade<V>(int32_t, int32_t);    \
  template int builtin_ch_fadeout<V>(int32_t, int32_t); \
  template int builtin_ch_stat<V>(int32_t, int32_t);    \
  template int builtin_ch_wait<V>(int32_t, int32_t);    \
  template int builtin_ch_get_fn<V>(int32_t, int32_t);
SOUND_CHANNEL_INSTANCES(0)
SOUND_CHANNEL_INSTANCES(1)

// ---- Reset, save block, master hooks

// Everything but the current levels as at start.
static void state_clear() {
  int32_t music_level = snd.music.level, voice_level = snd.voice.level, slot_levels[SOUND_SLOTS];
  for (int k = 0; k < SOUND_SLOTS; ++k) slot_levels[k] = snd.slots[k].level;
  int loop = snd.music.loop;
  memset(&snd, 0, sizeof snd);
  snd.music.level = music_level, snd.voice.level = voice_level;
  for (int k = 0; k < SOUND_SLOTS; ++k) snd.slots[k].level = slot_levels[k];
  snd.music.loop = loop;
  snd.music.pending = snd.voice.pending = FULL;
  for (effect_slot& s : snd.slots) s.pending = FULL;
  for (channel_family& fam : snd.families) fam.pending = FULL;
}

void sound_keep() { snd.keep = true; }

void sound_reset() {
  if (snd.keep) {
    snd.keep = false;
    return;
  }
  stream_stop_all();
  state_clear();
}

void sound_state_reset() {
  state_clear();
  snd.music.level = snd.voice.level = FULL;
  for (effect_slot& s : snd.slots) s.level = FULL;
  snd.music.loop = 1;
}

// A name into a field of the save block, cut to leave room for its NUL.
static void field_put(char* field, size_t size, const char* name) { cp932_copy(field, size, name); }

// A name out of a field: never read past it, whether or not its NUL is there.
static std::string field_get(const char* field, size_t size) {
  const void* end = memchr(field, '\0', size);
  return std::string(field, end ? static_cast<size_t>(static_cast<const char*>(end) - field) : size);
}

void sound_save_state(save_header& h) {
  field_put(h.music_file, sizeof h.music_file, snd.music.file);
  field_put(h.music_loop, sizeof h.music_loop, snd.music.loop_part);
  for (int k = 0; k < SOUND_SLOTS; ++k) {
    const effect_slot& s = snd.slots[k];
    bool playing = s.looping && stream_status(s.id) != 0;
    field_put(h.sound_slots[k].file, sizeof h.sound_slots[k].file, playing ? s.file : "");
    field_put(h.sound_slots[k].loop, sizeof h.sound_slots[k].loop, playing ? s.loop_part : "");
    h.sound_levels[k] = s.level;
  }
  h.music_level = snd.music.level;
  h.music_loop_flag = snd.music.loop;
  h.voice_level = snd.voice.level;
}

void sound4_load_state(const char* file, const char* loop_part, int looping) { slot_play(3, file, loop_part, looping); }

void sound_load_state(const save_header& h) {
  snd.music.pending = h.music_level;
  std::string file = field_get(h.music_file, sizeof h.music_file);
  std::string loop = field_get(h.music_loop, sizeof h.music_loop);
  music(file.c_str(), loop.c_str(), h.music_loop_flag);
  for (int k = 0; k < SOUND_SLOTS; ++k) {
    file = field_get(h.sound_slots[k].file, sizeof h.sound_slots[k].file);
    loop = field_get(h.sound_slots[k].loop, sizeof h.sound_slots[k].loop);
    if (file.empty()) continue;
    snd.slots[k].pending = h.sound_levels[k];
    if (k == 3)
      sound4_load_state(file.c_str(), loop.c_str(), 1);
    else
      slot_play(k, file.c_str(), loop.c_str(), 1);
  }
}

void music_volume_apply(int master) { stream_set_volume(snd.music.id, scaled(master, snd.music.level)); }

void sound_volume_apply(int master) {
  for (effect_slot& s : snd.slots) stream_set_volume(s.id, scaled(master, s.level));
}

void voice_volume_apply(int master) { stream_set_volume(snd.voice.id, scaled(master, snd.voice.level)); }

void sound_apply_config() {
  if (snd.music.id == 0 && snd.music.file[0]) {
    int32_t volume = scaled(music_volume_effective(), snd.music.level);
    snd.music.id = snd.music.loop_part[0] ? stream_play(snd.music.file, snd.music.loop_part, volume, snd.music.loop)
                                          : stream_play_simple(snd.music.file, volume, snd.music.loop);
  }
  if (sound_volume_effective() == 0)
    for (effect_slot& s : snd.slots) {
      stream_stop(s.id);
      s.id = 0;
    }
}

sound_slot_view sound_slot_get(const char* slot, int ch) {
  std::string name = slot;
  if (name == "music") return {snd.music.id, snd.music.level, snd.music.pending, 0};
  if (name == "voice") return {snd.voice.id, snd.voice.level, snd.voice.pending, snd.voice.pending_pan};
  for (int k = 0; k < SOUND_SLOTS; ++k)
    if (name == SLOT_NAMES[k]) {
      const effect_slot& s = snd.slots[k];
      return {s.id, s.level, s.pending, s.pending_pan};
    }
  int voice = name == "voice_ch";
  const channel_family& fam = snd.families[voice];
  return {fam.ch[ch].id, 0, fam.pending, voice ? fam.ch[ch].pending_pan : fam.pending_pan};
}
