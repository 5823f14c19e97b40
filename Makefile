# Two set-up commands for a fresh Debian 12 machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
WORLD ?= worlds/sample
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?= fuzz_map fuzz_check fuzz_bitmap fuzz_chunk3ds fuzz_model3ds

PREFIX ?= /usr/local

.PHONY: deps build run test bench asan fuzz mutants install deb clip clean

deps:
	@./scripts/install-deps.sh build

$(BUILD)/Makefile: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

# A window where there is a display; a headless playback of the demo otherwise.
run: build
	@./scripts/first-run.sh $(BUILD) $(WORLD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The benchmarks' libraries are installed only here; the build tree then builds them too.
bench: build
	@./scripts/install-deps.sh bench
	cmake -S . -B $(BUILD) -DBUILD_BENCHMARKS=ON
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench_*; do [ -x "$$b" ] && echo "== $$b" && $$b; done

# Tests under AddressSanitizer and UndefinedBehaviorSanitizer, in their own build tree.
asan: deps
	cmake -S . -B build-asan -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 900 -L '^nogl$$'
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) --timeout 900 -L '^gl$$'

# Each fuzz target for FUZZ_SECONDS on the test data, in its own clang build tree, JOBS
# targets at a time; what the runs find is kept in build-fuzz/corpus for the next run.
fuzz: deps
	@./scripts/install-deps.sh fuzz
	cmake -S . -B build-fuzz -DFUZZ=ON -DBUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	./scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS) $(JOBS) $(FUZZ_TARGETS)

# The programs, the sample world, the desktop entry, the icon, the manual pages and the
# documents under PREFIX (DESTDIR is honoured for staged installs).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same install, in $(BUILD); scripts/check-deb.sh installs it on a
# fresh Debian 12 and plays the sample world with it.
deb: build
	@./scripts/install-deps.sh package
	cd $(BUILD) && cpack -G DEB

# The README's clip of the sample world's demo, docs/sample-walk.gif.
clip: build
	./scripts/make-clip.sh $(BUILD) docs/sample-walk.gif

# Every fault of tests/mutants.txt in turn, in a scratch copy of the tree (too slow for CI).
mutants: deps
	JOBS=$(JOBS) ./scripts/mutants.sh

clean:
	rm -rf $(BUILD) build-asan build-fuzz
