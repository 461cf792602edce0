#include "graphics/scaler.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/system.h"
#include "graphics/kernel.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

int hq_refuse_thread_starts = 0;

namespace {
constexpr int64_t ONE = 16384;  // 1.0 in the scaler's fixed point

// One job, written by the calling thread before any band starts and only read by the bands.
struct hq_job {
  const page* src;
  page* dst;
  page_rect cd;            // destination rectangle, clipped and trimmed
  int bpp;                 // bytes per pixel of both pages
  int64_t fx, fy, gx, gy;  // steps and start positions
  std::vector<int32_t> col_offset, col_frac;  // per destination column: left sample's byte offset, weight
  std::vector<int16_t> pair_weights;           // 2f four times for each column of a pair (24-bit rows)
};

// A piece of a job for one thread: rows [first, end) of its destination rectangle. Which pieces a
// job is cut into does not change its pixels.
struct hq_task {
  const hq_job* job;
  int first, end;
};

// Horizontal interpolation of one source row into buf: out = (s[p] * (1 - f) + s[p + 1] * f) >> 14
// per channel, written as s[p] + ((s[p + 1] - s[p]) * f >> 14), the same value. With SSE2, two
// 24-bit pixels a step: (2 diff * 2f) >> 16 is that product's floor exactly in 16-bit lanes.
// Loads of 8 bytes reach at most two bytes past the right neighbour, inside the page's block; the
// fourth byte stored with each pixel is overwritten by the next one or lands in buf's spare tail.
void interpolate_row(const hq_job& job, const uint8_t* row, uint8_t* buf) {
  const int width = job.cd.width;
  const int32_t* offs = job.col_offset.data();
  const int32_t* fracs = job.col_frac.data();
  if (job.bpp == 1) {
    for (int c = 0; c < width; c++) {
      const uint8_t* s = row + offs[c];
      buf[c] = static_cast<uint8_t>(s[0] + ((s[1] - s[0]) * fracs[c] >> 14));
    }
    return;
  }
  int c = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  const int16_t* weights = job.pair_weights.data();
  for (; c + 2 <= width; c += 2, weights += 8) {
    __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offs[c])), zero);
    __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offs[c + 1])), zero);
    __m128i left = _mm_unpacklo_epi64(a, b), right = _mm_unpacklo_epi64(_mm_srli_si128(a, 6), _mm_srli_si128(b, 6));
    __m128i diff2 = _mm_slli_epi16(_mm_sub_epi16(right, left), 1);
    __m128i v = _mm_add_epi16(left, _mm_mulhi_epi16(diff2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights))));
    __m128i packed = _mm_packus_epi16(v, v);
    uint32_t first = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
    uint32_t second = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 4)));
    memcpy(buf + 3 * c, &first, 4);
    memcpy(buf + 3 * c + 3, &second, 4);
  }
#endif
  for (; c < width; c++) {
    const uint8_t* s = row + offs[c];
    int f = fracs[c];
    uint8_t* o = buf + 3 * c;
    o[0] = static_cast<uint8_t>(s[0] + ((s[3] - s[0]) * f >> 14));
    o[1] = static_cast<uint8_t>(s[1] + ((s[4] - s[1]) * f >> 14));
    o[2] = static_cast<uint8_t>(s[2] + ((s[5] - s[2]) * f >> 14));
  }
}

// One piece of a job. Vertical weights are biased: the lower row gets a + 1 and the upper
// 256 - a, out of 257, as the row mixer does.
void hq_band(const hq_task& task) {
  const hq_job& job = *task.job;
  const int first = task.first, end = task.end;
  const size_t bytes = static_cast<size_t>(job.cd.width) * job.bpp;
  const size_t left = static_cast<size_t>(job.gx >> 14) * job.bpp;
  const size_t out_x = static_cast<size_t>(job.cd.x) * job.bpp;
  if (job.fx == ONE) {
    for (int r = first; r < end; r++) {
      int64_t y = job.gy + r * job.fy;
      int sy = static_cast<int>(y >> 14), a = static_cast<int>(y >> 6 & 255);
      uint8_t* out = page_row(job.dst, job.cd.y + r) + out_x;
      row_mix8(out, page_row(job.src, sy + 1) + left, page_row(job.src, sy) + left, bytes, a);
    }
    return;
  }
  std::vector<uint8_t> upper_buf(bytes + 256), lower_buf(bytes + 256);
  uint8_t* upper = upper_buf.data();
  uint8_t* lower = lower_buf.data();
  int upper_row = -1, lower_row = -1;
  for (int r = first; r < end; r++) {
    int64_t y = job.gy + r * job.fy;
    int sy = static_cast<int>(y >> 14), a = static_cast<int>(y >> 6 & 255);
    if (sy != upper_row) {
      if (sy == lower_row) {
        std::swap(upper, lower);
        upper_row = lower_row;
        lower_row = -1;
      } else {
        interpolate_row(job, page_row(job.src, sy), upper);
        upper_row = sy;
      }
    }
    if (sy + 1 != lower_row) {
      interpolate_row(job, page_row(job.src, sy + 1), lower);
      lower_row = sy + 1;
    }
    uint8_t* out = page_row(job.dst, job.cd.y + r) + out_x;
    row_mix8(out, lower, upper, bytes, a);
  }
}

// The per-column sample tables of a job that scales across, from its start position and step.
void columns_fill(hq_job& job) {
  if (job.fx == ONE) return;
  job.col_offset.resize(static_cast<size_t>(job.cd.width));
  job.col_frac.resize(static_cast<size_t>(job.cd.width));
  for (int c = 0; c < job.cd.width; c++) {
    int64_t x = job.gx + c * job.fx;
    job.col_offset[c] = static_cast<int32_t>((x >> 14) * job.bpp);
    job.col_frac[c] = static_cast<int32_t>(x & (ONE - 1));
  }
}
void weights_fill(hq_job& job) {
  if (job.fx == ONE) return;
  job.pair_weights.assign(static_cast<size_t>(job.cd.width + 1) / 2 * 8, 0);
  for (int c = 0; c < job.cd.width; c++)
    for (int k = 0; k < 4; k++) job.pair_weights[static_cast<size_t>(c) * 4 + k] = static_cast<int16_t>(2 * job.col_frac[c]);
}

int32_t step_of(double scale) {
  double v = ONE / scale;
  return v > 0 && v < 2147483648.0 ? static_cast<int32_t>(v) : 0;
}

// Sets up the job: steps, start positions, and a destination trimmed so that every sample and its
// right and lower neighbours lie in the clipped source. False when nothing is left to draw. The
// column tables are left to the parts the job is drawn as.
bool hq_prepare(hq_job& job, const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                double scale_y, page_rect& cs) {
  int64_t scx = sr.x + sr.width / 2, scy = sr.y + sr.height / 2;
  int64_t dcx = dr.x + dr.width / 2, dcy = dr.y + dr.height / 2;
  cs = sr;
  page_rect cd = dr;
  if (page_clip_rect(src, &cs) || page_clip_rect(dst, &cd)) return false;
  job.fx = step_of(scale_x);
  job.fy = step_of(scale_y);
  if (job.fx <= 0 || job.fy <= 0) return false;
  job.gx = scx * ONE + job.fx / 2 - job.fx * (dcx - cd.x) - ONE / 2;
  job.gy = scy * ONE + job.fy / 2 - job.fy * (dcy - cd.y) - ONE / 2;
  while (cd.width > 0 && job.gx < cs.x * ONE) cd.x++, cd.width--, job.gx += job.fx;
  while (cd.width > 0 && job.gx + job.fx * (cd.width - 1) >= (cs.x + cs.width) * ONE - ONE) cd.width--;
  while (cd.height > 0 && job.gy < cs.y * ONE) cd.y++, cd.height--, job.gy += job.fy;
  while (cd.height > 0 && job.gy + job.fy * (cd.height - 1) >= (cs.y + cs.height) * ONE - ONE) cd.height--;
  if (cd.width <= 0 || cd.height <= 0) return false;
  job.src = src;
  job.dst = dst;
  job.cd = cd;
  job.bpp = page_bytes_per_pixel(src);
  return true;
}
}  // namespace

int hq_band_count(int source_rows, int processors) {
  if (source_rows < 100) return 1;
  return processors > 7 ? 8 : processors > 3 ? 4 : processors > 1 ? 2 : 1;
}

namespace {
constexpr int MAX_BANDS = 8;
// How long a worker or the caller spins before it sleeps: about a tenth of a millisecond. Waking a
// sleeping thread costs about as much as a small job, and the zoomed presentation scales its
// dirty cells one after another.
constexpr int SPIN_PAUSES = 4000;

// The band workers, started on first use and kept between jobs, stopped and joined by
// hq_workers_stop, which the pool's destructor runs at exit. The caller and the workers enlisted
// for a round take its tasks in turn until none is left, so a worker that comes late only leaves
// more tasks to the caller; which thread computes a task does not change its pixels, and no two
// tasks of a round write the same pixel. Everything is guarded by lock; round and running are
// atomic as well so that waiting threads can watch them without it. The jobs and tasks are
// written before they are handed out and only read until the caller returns, which it does when
// every task taken has finished.
struct band_pool {
  std::mutex lock;
  std::condition_variable wake, done;
  std::thread workers[MAX_BANDS - 1];
  bool enlisted[MAX_BANDS - 1] = {};  // this worker helps with the current job
  const hq_task* tasks = nullptr;
  int task_count = 0;
  int next = 0;                  // the next task nobody has taken
  int sleepers = 0;              // workers waiting on wake
  bool caller_sleeps = false;    // the caller waits on done
  bool stopping = false;
  std::atomic<uint64_t> round{0};  // jobs handed out so far
  std::atomic<int> running{0};     // bands taken by workers and not finished yet
  ~band_pool();                    // stops and joins the workers at exit
};
band_pool pool;

void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Spins until done() or about SPIN_PAUSES pauses have passed.
template <class F>
void spin_until(F&& done) {
  for (int i = 0; i < SPIN_PAUSES && !done(); i++) spin_pause();
}

// Takes and computes tasks of the current round until none is left; called and returns with the
// lock held.
void take_bands(std::unique_lock<std::mutex>& held, bool worker) {
  while (pool.next < pool.task_count) {
    const hq_task& task = pool.tasks[pool.next++];
    if (worker) pool.running++;
    held.unlock();
    hq_band(task);
    held.lock();
    if (worker && --pool.running == 0 && pool.caller_sleeps) pool.done.notify_one();
  }
}

void band_worker(int i) {
  std::unique_lock<std::mutex> held(pool.lock);
  uint64_t seen = 0;  // a worker starts while a job is handed out, so the round is at least 1
  for (;;) {
    if (!pool.stopping && pool.round == seen) {
      // Stay awake a little for the next job before sleeping.
      held.unlock();
      spin_until([&] { return pool.round.load() != seen; });
      held.lock();
      pool.sleepers++;
      pool.wake.wait(held, [&] { return pool.stopping || pool.round != seen; });
      pool.sleepers--;
    }
    if (pool.stopping) return;
    seen = pool.round;
    if (pool.enlisted[i]) take_bands(held, true);
  }
}

// Whether worker i can help with the job: it runs, or starts now. Called with the lock held.
bool worker_enlisted(int i) {
  if (hq_refuse_thread_starts > 0) {
    hq_refuse_thread_starts--;
    return false;
  }
  if (!pool.workers[i].joinable()) {
    try {
      pool.workers[i] = std::thread(band_worker, i);
    } catch (const std::system_error&) {
      return false;
    }
  }
  return true;
}
}  // namespace

void hq_workers_stop() {
  {
    std::lock_guard<std::mutex> held(pool.lock);
    pool.stopping = true;
  }
  pool.wake.notify_all();
  for (std::thread& t : pool.workers)
    if (t.joinable()) t.join();
  std::lock_guard<std::mutex> held(pool.lock);
  pool.stopping = false;
}

band_pool::~band_pool() { hq_workers_stop(); }

namespace {
// Runs the tasks on the caller and up to helpers band workers; returns when all are done.
void run_tasks(const std::vector<hq_task>& tasks, int helpers) {
  int n = static_cast<int>(tasks.size());
  if (helpers > n - 1) helpers = n - 1;
  if (helpers < 1) {
    for (const hq_task& t : tasks) hq_band(t);
    return;
  }
  // Tasks whose worker cannot be had fall to the others and to the caller.
  std::unique_lock<std::mutex> held(pool.lock);
  pool.tasks = tasks.data();
  pool.task_count = n;
  pool.next = 0;
  for (int i = 0; i < MAX_BANDS - 1; i++) pool.enlisted[i] = i < helpers && worker_enlisted(i);
  pool.round++;
  if (pool.sleepers > 0) {
    held.unlock();
    pool.wake.notify_all();
    held.lock();
  }
  take_bands(held, false);
  if (pool.running > 0) {
    held.unlock();
    spin_until([] { return pool.running.load() == 0; });
    held.lock();
    pool.caller_sleeps = true;
    pool.done.wait(held, [] { return pool.running == 0; });
    pool.caller_sleeps = false;
  }
  pool.tasks = nullptr;
  pool.task_count = 0;
}

// Joins part b to a when b lies just right of a on the same rows and samples the same source
// rows, and its columns continue a's (always, when both have column tables).
bool join_right(hq_job& a, const hq_job& b) {
  if (a.cd.x + a.cd.width != b.cd.x || a.cd.y != b.cd.y || a.cd.height != b.cd.height || a.gy != b.gy) return false;
  if (a.fx == ONE) {
    if (b.gx != a.gx + a.cd.width * ONE) return false;
  } else {
    a.col_offset.insert(a.col_offset.end(), b.col_offset.begin(), b.col_offset.end());
    a.col_frac.insert(a.col_frac.end(), b.col_frac.begin(), b.col_frac.end());
  }
  a.cd.width += b.cd.width;
  return true;
}

// The parts of r outside cut: up to four rectangles.
void subtract(const page_rect& r, const page_rect& cut, std::vector<page_rect>& out) {
  int r_right = r.x + r.width, r_bottom = r.y + r.height;
  int c_right = cut.x + cut.width, c_bottom = cut.y + cut.height;
  if (cut.x >= r_right || c_right <= r.x || cut.y >= r_bottom || c_bottom <= r.y) {
    out.push_back(r);
    return;
  }
  int top = cut.y > r.y ? cut.y : r.y, bottom = c_bottom < r_bottom ? c_bottom : r_bottom;
  if (top > r.y) out.push_back(page_rect{r.x, r.y, r.width, top - r.y});
  if (bottom < r_bottom) out.push_back(page_rect{r.x, bottom, r.width, r_bottom - bottom});
  if (cut.x > r.x) out.push_back(page_rect{r.x, top, cut.x - r.x, bottom - top});
  if (c_right < r_right) out.push_back(page_rect{c_right, top, r_right - c_right, bottom - top});
}
}  // namespace

void hq_modify_copy_series(const page* src, page* dst, const hq_copy* copies, int count, double scale_x,
                           double scale_y, int bands) {
  if (src->is_8bit != dst->is_8bit) {
    fputs("HQGrpModifyCopy NotSupportFormat\n", stderr);
    return;
  }
  std::vector<hq_job> jobs(static_cast<size_t>(count > 0 ? count : 0));
  std::vector<bool> drawn(jobs.size());
  int source_rows = 0;
  for (int k = 0; k < count; k++) {
    page_rect cs;
    drawn[k] = hq_prepare(jobs[k], src, copies[k].sr, dst, copies[k].dr, scale_x, scale_y, cs);
    if (drawn[k]) source_rows += cs.height;
  }
  if (bands <= 0) bands = hq_band_count(source_rows, cpu_count());
  if (bands > MAX_BANDS) bands = MAX_BANDS;
  // Each job keeps the parts of its destination that no later job writes, each a job of its own
  // with the same samples. Parts side by side with the same rows and row samples (the cells of a
  // grid row) join into one job whose column tables are theirs end to end, so its rows are as long
  // as a single call's.
  std::vector<hq_job> parts;
  std::vector<page_rect> rects, rest;
  for (int k = 0; k < count; k++) {
    if (!drawn[k]) continue;
    const hq_job& job = jobs[k];
    rects.assign(1, job.cd);
    for (int m = k + 1; m < count && !rects.empty(); m++) {
      if (!drawn[m]) continue;
      rest.clear();
      for (const page_rect& r : rects) subtract(r, jobs[m].cd, rest);
      rects.swap(rest);
    }
    for (const page_rect& r : rects) {
      hq_job part;
      part.src = job.src, part.dst = job.dst, part.bpp = job.bpp, part.fx = job.fx, part.fy = job.fy;
      part.cd = r;
      part.gx = job.gx + (r.x - job.cd.x) * job.fx;
      part.gy = job.gy + (r.y - job.cd.y) * job.fy;
      columns_fill(part);
      bool joined = false;
      for (hq_job& left : parts)
        if ((joined = join_right(left, part))) break;
      if (!joined) parts.push_back(std::move(part));
    }
  }
  // One job makes a piece a band; several make about two pieces a band in all, enough to even out
  // the threads.
  int64_t area = 0;
  for (hq_job& part : parts) {
    weights_fill(part);
    area += static_cast<int64_t>(part.cd.width) * part.cd.height;
  }
  std::vector<hq_task> tasks;
  for (const hq_job& part : parts) {
    int64_t share = static_cast<int64_t>(part.cd.width) * part.cd.height * 2 * bands;
    int pieces = parts.size() == 1 ? bands : static_cast<int>((share + area - 1) / area);
    int rows = (part.cd.height + pieces - 1) / pieces;
    for (int y = 0; y < part.cd.height; y += rows)
      tasks.push_back(hq_task{&part, y, y + rows < part.cd.height ? y + rows : part.cd.height});
  }
  run_tasks(tasks, bands - 1);
}

void hq_modify_copy_bands(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                          double scale_y, int bands) {
  hq_copy one{sr, dr};
  hq_modify_copy_series(src, dst, &one, 1, scale_x, scale_y, bands < 1 ? 1 : bands);
}

void HQGrpModifyCopy(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                     double scale_y) {
  hq_copy one{sr, dr};
  hq_modify_copy_series(src, dst, &one, 1, scale_x, scale_y, 0);
}
