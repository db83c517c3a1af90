# Entry points for people and CI. Every target first installs the Debian
# packages its work needs (scripts/install-deps.sh SET), so each works on a
# fresh machine; SKIP_DEPS=1 skips that where the libraries come from
# elsewhere.
BUILD         ?= build
RELEASE_BUILD ?= build-release
CLANG_BUILD   ?= build-clang
ASAN_BUILD    ?= build-asan
FUZZ_BUILD    ?= build-fuzz
JOBS          ?= $(shell nproc)
FUZZ_SECONDS  ?= 30
# The project's own builds stop on any warning; a compiler newer than the
# project's may warn where it did not: WERROR=OFF then.
WERROR        ?= ON
SKIP_DEPS     ?=

# What the main job needs: the four programs, the Standard database of the
# build's product tree and the manual pages.
PROGRAMS := tarnvel udmconv matdb tarnvel-export standard_database man_pages

CONFIGURE = cmake -S . -G Ninja -DTARNVEL_WERROR=$(WERROR)
deps = $(if $(filter 1,$(SKIP_DEPS)),@true,@scripts/install-deps.sh $(1))

.PHONY: deps programs build demo check release-check clang-check package package-check \
        asan-check fuzz-build fuzz-smoke bench format clean

deps:
	$(call deps,all)

# The programs alone; a first configure leaves the tests and benchmarks out
# (make check turns them on in the same build folder).
programs:
	$(call deps,build)
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

# The tool's main job on shipped examples.
demo: programs
	@scripts/demo.sh $(BUILD)

# Everything: programs, tests, benchmarks; then the test suite.
build:
	$(call deps,test)
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DBUILD_TESTING=ON -DTARNVEL_BUILD_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

# The suite runs with a private temporary directory that must be empty after.
check: build
	@scripts/run-suite.sh $(BUILD) $(JOBS)

# A Release build (-O3) of everything, then the test suite on it.
release-check:
	$(call deps,test)
	$(CONFIGURE) -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DBUILD_TESTING=ON -DTARNVEL_BUILD_BENCH=ON
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	@scripts/run-suite.sh $(RELEASE_BUILD) $(JOBS)

# The same Release build of everything with clang, built only.
clang-check:
	$(call deps,test fuzz)
	CC=clang CXX=clang++ $(CONFIGURE) -B $(CLANG_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DBUILD_TESTING=ON -DTARNVEL_BUILD_BENCH=ON
	cmake --build $(CLANG_BUILD) -j $(JOBS)

# The Debian package of the Release build: build/tarnvel_<version>_<arch>.deb.
package:
	$(call deps,package)
	$(CONFIGURE) -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  $(if $(wildcard $(RELEASE_BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target $(PROGRAMS) changelog_gz
	cd $(RELEASE_BUILD) && cpack -G DEB

# The package checked: lintian, then the main job run from the package
# unpacked into a temporary root, in an empty folder, with no variable set.
package-check: package
	@scripts/package-check.sh $(RELEASE_BUILD)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, with
# every allocation routed to the C runtime so the sanitizer sees each block.
asan-check:
	$(call deps,test)
	$(CONFIGURE) -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	  -DTARNVEL_SANITIZE=ON -DTARNVEL_SYSTEM_ALLOC=ON -DBUILD_TESTING=ON -DTARNVEL_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  scripts/run-suite.sh $(ASAN_BUILD) $(JOBS)

fuzz-build:
	$(call deps,fuzz)
	CC=clang CXX=clang++ $(CONFIGURE) -B $(FUZZ_BUILD) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNVEL_BUILD_FUZZ=ON \
	  -DTARNVEL_SYSTEM_ALLOC=ON -DBUILD_TESTING=OFF -DTARNVEL_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Runs every fuzz target briefly over its seed corpus.
fuzz-smoke: fuzz-build
	@scripts/fuzz-smoke.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bin/*_bench; do [ -x "$$b" ] && "$$b"; done

format:
	$(call deps,all)
	find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD) $(CLANG_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
