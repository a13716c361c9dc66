# Thin wrapper over CMake. `make` builds the Release engine into build/,
# `make run` starts it on this terminal, `make test` runs every test in the
# Release build and again under AddressSanitizer + UndefinedBehaviorSanitizer.
JOBS ?= 2
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 60
FUZZ_CXX ?= clang++
FUZZ_HARNESSES = protocol console engine

.PHONY: all build run run2 test test-release test-sanitize test-tsan bench bench2 match selfplay timing timing2 memory \
        windows wine-check test-wine match-wine fuzz fuzz-build fuzz-smoke format format-check layout-check \
        web web-serve web-test clean

all: build

build:
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKQ_BENCH=ON -DKQ_SANITIZE=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@./build/pbrain-kq

# The tournament engine on this terminal.
run2: build
	@./build/pbrain-kq2

test: test-release test-sanitize

test-release: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DKQ_SANITIZE=ON -DKQ_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The tests that cross threads (the worker, STOP and END during a think, the
# front end end to end) under ThreadSanitizer, in build-tsan/.
TSAN_TESTS = Protocol|ProtocolEngine|BadInput|Console|Tournament
test-tsan:
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DKQ_TSAN=ON -DKQ_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

bench: build
	./build/kq-bench

# The tournament engine's signature: fixed positions at a fixed depth.
bench2: build
	./build/kq2-bench 4

# The tournament engine against the exact one: the 26 openings with both
# colours at 300 ms per move.
OPENINGS ?= bench/data/openings26.txt
match: build
	./build/kq-match ./build/pbrain-kq2 ./build/pbrain-kq --openings $(OPENINGS) --turn 300

# Two engine processes play 20 games at 200 ms per move through the protocol.
selfplay: build
	./build/kq-selfplay ./build/pbrain-kq 20 300

# Reply time less budget at 50, 200 and 1000 ms per move, 500 replies each.
timing: build
	./build/kq-timing ./build/pbrain-kq

# The tournament engine: turns of 50, 300 and 1000 ms (300 replies each), then
# a 10 s match clock.
timing2: build
	./build/kq-timing ./build/pbrain-kq2 -n 300 --turn 50 300 1000
	./build/kq-timing ./build/pbrain-kq2 -n 300 --clock 10000

# Peak resident memory of both engines over one game at 1 s per move.
memory: build
	rm -f build/memory.*
	KQ_MEMORY_LOG=build/memory ./build/kq-timing bench/measure_memory.sh -g 1 1000
	@grep -H "Maximum resident" build/memory.*

# Windows executables, cross-compiled with MinGW-w64 (static, no DLL beside
# them): build-windows/avx2/ for processors with AVX2 (x86-64-v3),
# build-windows/baseline/ for older ones (x86-64-v2: SSE4.2, POPCNT).
WINDOWS_FLAVOURS = avx2:x86-64-v3 baseline:x86-64-v2
windows:
	@for f in $(WINDOWS_FLAVOURS); do \
	  dir=build-windows/$${f%%:*}; \
	  cmake -S . -B $$dir -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	    -DKQ_ARCH=$${f#*:} -DKQ_TESTS=OFF -DKQ_BENCH=OFF $(CMAKE_FLAGS) >/dev/null && \
	  cmake --build $$dir -j $(JOBS) -- --no-print-directory || exit 1; \
	done
	@ls -l build-windows/*/*.exe

# The Windows executables under Wine (Debian's wine64), in a prefix of their
# own (build-windows/wine). wine-check fails, saying why, when Wine cannot run
# them; test-wine then runs the end-to-end tests of the Linux build against
# each flavour, and match-wine plays pbrain-kq2.exe (AVX2 where the processor
# has it) against the Linux pbrain-kq: WINE_GAMES games at 300 ms per move,
# and any illegal move, crash or time loss fails it.
WINE ?= $(firstword $(shell command -v wine64) $(wildcard /usr/lib/wine/wine64) $(shell command -v wine))
WINESERVER ?= $(firstword $(shell command -v wineserver) $(wildcard /usr/lib/wine/wineserver))
WINE_ENV = WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build-windows/wine
WINE_TESTS = Protocol.*:ProtocolEngine.*:BadInput.*:Console.*:Tournament.*
WINE_GAMES ?= 10
WINE_MATCH_FLAVOUR = $(if $(shell grep -qw avx2 /proc/cpuinfo && echo y),avx2,baseline)
wine-check: windows
	@test -n "$(WINE)" || { echo "wine-check: FAILED, no wine64 or wine (Debian package wine64)"; exit 1; }
	@mkdir -p build-windows/wine
	@# One server for all the runs, kept a minute past the last: a process
	@# that starts while the server shuts down can fail to connect.
	@$(WINE_ENV) $(WINESERVER) -p60 >/dev/null 2>&1 || true
	@$(WINE_ENV) $(WINE) wineboot -i >/dev/null 2>&1 || true
	@printf 'ABOUT\nEND\n' | $(WINE_ENV) timeout 120 $(WINE) build-windows/baseline/pbrain-kq2.exe 2>&1 | \
	  grep -q 'name="kq2"' || { echo "wine-check: FAILED, $(WINE) cannot run pbrain-kq2.exe"; exit 1; }
	@echo "wine-check: ok, $(WINE) runs the Windows executables"

test-wine: build wine-check
	@for f in $(WINDOWS_FLAVOURS); do \
	  dir=build-windows/$${f%%:*}; \
	  if [ $${f%%:*} = avx2 ] && ! grep -qw avx2 /proc/cpuinfo; then \
	    echo "test-wine: this processor has no AVX2, $$dir is not tested"; continue; fi; \
	  echo "test-wine: $$dir"; \
	  $(WINE_ENV) KQ_ENGINE_RUNNER=$(WINE) KQ_ENGINE=$(CURDIR)/$$dir/pbrain-kq.exe \
	    KQ2_ENGINE=$(CURDIR)/$$dir/pbrain-kq2.exe ./build/kq-tests --gtest_filter='$(WINE_TESTS)' \
	    --gtest_brief=1 || exit 1; \
	done

match-wine: build wine-check
	@printf '#!/bin/sh\nexec env %s %s %s\n' '$(WINE_ENV)' '$(WINE)' \
	  '$(CURDIR)/build-windows/$(WINE_MATCH_FLAVOUR)/pbrain-kq2.exe' >build-windows/pbrain-kq2-wine
	@chmod +x build-windows/pbrain-kq2-wine
	./build/kq-match build-windows/pbrain-kq2-wine ./build/pbrain-kq --openings $(OPENINGS) \
	  --turn 300 --games $(WINE_GAMES)

# libFuzzer harnesses (fuzz/), built with clang and ASan + UBSan into
# build-fuzz/. Each runs FUZZ_SECONDS on its seed corpus plus what earlier
# runs found (build-fuzz/corpus/); crashing inputs land in build-fuzz/crashes/.
fuzz-build:
	@cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DKQ_FUZZ=ON -DKQ_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) $(addprefix --target kq-fuzz-,$(FUZZ_HARNESSES))

fuzz: fuzz-build
	@mkdir -p build-fuzz/crashes
	@for h in $(FUZZ_HARNESSES); do \
	  mkdir -p build-fuzz/corpus/$$h; \
	  echo "fuzz $$h: $(FUZZ_SECONDS) s"; \
	  (cd build-fuzz && ./fuzz/kq-fuzz-$$h -max_total_time=$(FUZZ_SECONDS) -jobs=1 -workers=1 \
	    -print_final_stats=1 -artifact_prefix=crashes/$$h- corpus/$$h ../fuzz/corpus/$$h \
	    >fuzz-$$h.log 2>&1) || { tail -n 60 build-fuzz/fuzz-$$h.log; exit 1; }; \
	  grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" build-fuzz/fuzz-$$h.log; \
	done

# The fuzzers for about 20 s each; skipped where clang cannot link libFuzzer.
fuzz-smoke:
	@if echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' | \
	    $(FUZZ_CXX) -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then \
	  $(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20; \
	else \
	  echo "fuzz-smoke: skipped, $(FUZZ_CXX) with libFuzzer not found"; \
	fi

# The sources must be as clang-format leaves them (the tests' transcript
# tables are laid out by hand and not checked).
FORMAT_FILES = $(shell git ls-files 'src/*.cpp' 'src/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 'web/*.cpp')
format:
	clang-format -i $(FORMAT_FILES)
format-check:
	@clang-format --dry-run -Werror $(FORMAT_FILES) && echo "format-check: ok"

# The core (src/core) includes no header of an engine folder, only the
# platform layer includes a system header of one platform, and no tracked
# file reaches outside the repository for its data.
layout-check:
	@if grep -rnE '#include ".*(kq|kq2)/' src/core; then \
	  echo "layout-check: the core includes an engine's header"; exit 1; fi
	@if git grep -nE '#include <(windows|io|fcntl|unistd|sys/[a-z]+)\.h>' -- src ':!src/core/platform'; then \
	  echo "layout-check: a system header of one platform outside src/core/platform"; exit 1; fi
	@if git grep -nF "$$(printf '../%s' shared)" -- . ; then \
	  echo "layout-check: a tracked file points outside the repository"; exit 1; fi
	@echo "layout-check: ok"

# The web board: kq2 built with Emscripten (NODE_PATH lets its optimiser find
# Debian's acorn) next to the page's static files, all in build-web/site/.
# web-serve serves that folder on localhost; web-test drives it in headless
# chromium (screenshots in build-web/screenshots/).
WEB_PORT ?= 8015
WEB_ENV = NODE_PATH=/usr/share/nodejs
web:
	@$(WEB_ENV) emcmake cmake -S . -B build-web/cmake -DCMAKE_BUILD_TYPE=Release -DKQ_BENCH=OFF >/dev/null
	@$(WEB_ENV) cmake --build build-web/cmake -j $(JOBS)
	@mkdir -p build-web/site
	@cp web/page/* build-web/cmake/web/kq2.js build-web/cmake/web/kq2.wasm build-web/site/
	@echo "web: the site is build-web/site"

web-serve: web
	node web/serve.js build-web/site $(WEB_PORT)

web-test: web build
	cd web/test && npm ci --no-audit --no-fund --loglevel=error
	node web/test/browser_test.js

clean:
	rm -rf build build-sanitize build-tsan build-fuzz build-web build-windows
