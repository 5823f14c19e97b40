# Two set-up commands for a fresh Debian 12 machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
WORLD ?= worlds/sample

.PHONY: deps build run test bench asan clean

deps:
	@./scripts/install-deps.sh

$(BUILD)/Makefile: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

# A window where there is a display; a headless playback of the demo otherwise.
run: build
	@./scripts/first-run.sh $(BUILD) $(WORLD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@for b in $(BUILD)/bench_*; do [ -x "$$b" ] && echo "== $$b" && $$b; done

# Tests under AddressSanitizer and UndefinedBehaviorSanitizer, in their own build tree.
asan: deps
	cmake -S . -B build-asan -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 900 -L '^nogl$$'
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) --timeout 900 -L '^gl$$'

clean:
	rm -rf $(BUILD) build-asan
