# Entry points for people and CI. Every target installs missing Debian
# packages first, so each works on a fresh machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 30

.PHONY: deps build demo check asan-check fuzz-build fuzz-smoke bench format clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The tool's main job on a shipped example.
demo: build
	@scripts/demo.sh $(BUILD)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, with
# every allocation routed to the C runtime so the sanitizer sees each block.
asan-check: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DTARNVEL_SANITIZE=ON -DTARNVEL_SYSTEM_ALLOC=ON -DTARNVEL_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNVEL_BUILD_FUZZ=ON \
	  -DTARNVEL_SYSTEM_ALLOC=ON -DTARNVEL_BUILD_TESTS=OFF -DTARNVEL_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Runs every fuzz target briefly over its seed corpus.
fuzz-smoke: fuzz-build
	@scripts/fuzz-smoke.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bin/*_bench; do [ -x "$$b" ] && "$$b"; done

format:
	find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
