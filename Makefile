# The README's two commands: `make demo` plays the sample game, `make test` builds and runs every
# test twice (plain, then under AddressSanitizer and UndefinedBehaviorSanitizer). Both install
# missing Debian packages first.

JOBS ?= $(shell nproc)
CONFIGURE = cmake -S . -G Ninja -Wno-dev

.PHONY: all deps build test test-plain test-asan tsan demo soak bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

BUILD_CONFIGURE = $(CONFIGURE) -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps
	@$(BUILD_CONFIGURE)
	@cmake --build build -j $(JOBS)

# ctest runs each test in a process of its own; the second pass runs each test program once, whole
# and in a shuffled order (the seed is printed), so that state one test leaves behind for another
# fails here too. Each run is bounded in time (generously: sanitizers and a busy machine are slow).
test-plain: build
	cd build && ctest --output-on-failure -j $(JOBS)
	@find build -maxdepth 1 -name 'test_*' -type f -perm -u+x | sort | xargs -P $(JOBS) -I{} sh -c \
	  'timeout 3600 {} --gtest_shuffle >{}.shuffled.log 2>&1 || { cat {}.shuffled.log; echo "== {}: failed shuffled"; exit 1; }'

ASAN_CONFIGURE = $(CONFIGURE) -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DVASK_SANITIZE=address,undefined >/dev/null

test-asan: deps
	@$(ASAN_CONFIGURE)
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)

test: test-plain
	@$(MAKE) --no-print-directory test-asan

# Threaded tests (named *Threaded*) and the sound worker's tests under ThreadSanitizer.
tsan: deps
	@$(CONFIGURE) -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DVASK_SANITIZE=thread -DVASK_BUILD_GTK=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -R 'Threaded|stream_worker'

# Only what the game needs: vaskrun (with its desktop backend) and the sample game, whose targets
# bring the tools that build it; not the tests and benchmarks.
demo: deps
	@$(BUILD_CONFIGURE)
	@cmake --build build -j $(JOBS) --target vaskrun demo_game
	@examples/demo/play.sh build/vaskrun build/demo/packaged

# The sample game looped headless under the sanitizers for SOAK_MINUTES, its resident size printed
# at every title; fails when that grows more than SOAK_RSS_GROWTH_KB after the first pass or a
# sanitizer reports (scripts/soak.sh). Not part of test.
SOAK_MINUTES ?= 30
soak: deps
	@$(ASAN_CONFIGURE)
	@cmake --build build-asan -j $(JOBS) --target vaskrun demo_game
	@SOAK_MINUTES=$(SOAK_MINUTES) scripts/soak.sh build-asan/vaskrun build-asan/demo/dev

# Every source under bench/ must have been built; a failing benchmark fails the target.
bench: build
	@for s in bench/*.cpp; do b=build/$$(basename $$s .cpp); \
	  [ -x $$b ] || { echo "bench: $$b was not built" >&2; exit 1; }; done
	@for s in bench/*.cpp; do b=build/$$(basename $$s .cpp); echo "== $$b"; $$b || exit 1; done

# libFuzzer targets (clang), each run for a minute.
fuzz: deps
	@CC=clang CXX=clang++ $(CONFIGURE) -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVASK_FUZZ=ON -DVASK_TESTS=OFF \
	  -DVASK_BUILD_GTK=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/fuzz_*; do echo "== $$f"; LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp $$f -max_total_time=60 -rss_limit_mb=4096 || exit 1; done

clean:
	rm -rf build build-asan build-tsan build-fuzz
