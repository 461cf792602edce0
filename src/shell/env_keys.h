// Environment keys and defaults: the keys of the environment file that the engine reads often,
// each through a getter that searches the file once and keeps the value for the run, plus the
// desktop metrics and the bounded wide-screen sizes of the display settings.
#pragma once

// Cached integer keys: getter (key, default). Each slot holds a sentinel until the first read
// (-1 unless noted); once read, a value never changes during the run.
// CLIENT_WIDTH (640) and CLIENT_HEIGHT (480): a value of 0 or less, or beyond WINDOW_SIDE_MAX
// (8192, told once in a notice box), gives the default and is looked up again on each call.
int client_width();
int client_height();
int space_indent();            // SPACEINDENT (1)
int indent_offset();           // INDENTOFFSET (0); sentinel -999, so -1 is a value
int name_popup();              // NAMEPOPUP (1)
int alt_menu_a();              // ALTMENU_A (0)
int kinsoku_type();            // KINSOKU_TYPE (0)
int effect_speed_default();    // EFFECTSPEED (1000)
int moji_speed_default();      // MOJISPEED (1000)
int auto_speed_default();      // AUTOSPEED (1000)
int music_vol_default();       // MUSICVOL (650)
int voice_vol_default();       // VOICEVOL (1000)
int sound_vol_default();       // SOUNDVOL (650)
int is_talk_male_default();    // ISTALKMALE (1)
int is_talk_female_default();  // ISTALKFEMALE (1)
int is_play_music_default();   // ISPLAYMUSIC (1)
int is_play_sound_default();   // ISPLAYSOUND (1)
int gender_free();             // GENDERFREE (0)
int voice_skip_def();          // VOICESKIPDEF (0)
int no_update_on_wait0();      // NOUPDATEONWAIT0 (0)
int is_voice_continue();       // ISVOICECONTINUE (0)
int is_voice_panning();        // ISVOICEPANNING (0)
int ctrl_key_def();            // CTRLKEYDEF (0)
int loadsave_disabled();       // LOADSAVEDISABLE (0) is 1: 1, else 0; the first read of 1 greys save and load in the menu
int fontcache_smart();         // FONTCACHESMART (0)
int ignore_screen_mode();      // IGNORESCREENMODE (0)
int detect_wide_monitor();     // DETECTWIDEMONITOR (1)
int caps_mode();               // CAPSMODE (0): CapsLock acts as the skip key (0) or the auto key (1)
int quickload_failsafe_default();  // QUICKLOAD_FAILSAFE (2)
int quicksave_failsafe_default();  // QUICKSAVE_FAILSAFE (0)
int agg_skip();                // AGGSKIP (0): how far the interpreter thins drawn frames while skipping
int max_fps();                 // MAX_FPS (1000): the frame limiter's rate, before it is held to 1..80

// Cached text keys, read into 128-byte buffers while the buffer is still empty.
constexpr int ENV_TEXT_SIZE = 128;
const char* reg_global_name();  // REG_GLOBAL ("VASKEL_SYSTEM"): the settings key's first name
const char* reg_local_name();   // REG_LOCAL ("VASKEL_RUNTIME"): its second name
const char* app_title();        // TITLEBAR ("ＶＡＳＫＥＬ　スクリプトエンジン")
// ALTGENDER ("-"): the label of the male-voice box, or nullptr when the value is exactly "-".
const char* alt_gender();

// Desktop metrics. The primary display's size is read once, the first time either of these runs.
// wide_monitor_class: r = width x 100 / height; r <= 135 gives 0 (4:3), r < 175 gives 1 (16:10),
// otherwise 2 (16:9).
int wide_monitor_class();
// 0 on a 4:3-class desktop, otherwise the stored FullScWide5 (default 0).
int full_sc_wide_get();
// The stored full-screen width RegWidth3: 0 when it is 0 or absent, otherwise at least
// CLIENT_WIDTH and at most 1920.
int reg_width_get();
// The stored full-screen height RegHeight3: 0 when it is 0 or absent, otherwise at least
// CLIENT_HEIGHT (3/4 of it while WideMode is set) and at most 1200.
int reg_height_get();


// Forgets every cached value, so that the next reads search the environment file again. For tests.
void env_keys_reset();
// Places a value in AGGSKIP's cache slot, as if the environment file held it. For tests.
void agg_skip_set(int value);
