# Entry points: make (build), make check (everything CI runs), make demo, make bench,
# make install, make deb. Two build trees: build/ (release with debug info) and build-asan/;
# the Debian packages land in build-deb/.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
CTEST_ARGS ?=
DEB_DIR    ?= build-deb
# make check has run the tests; DEB_BUILD_OPTIONS= builds and runs them in the package build.
DEB_BUILD_OPTIONS ?= nocheck
# Developer trees stop on any warning; a plain CMake configure and the package build do not.
DEV_CMAKE_ARGS := -DTESSARON_WERROR=ON

.PHONY: all build asan deps check test test-asan demo bench fuzz install deb clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEV_CMAKE_ARGS) $(CMAKE_ARGS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARON_SANITIZE=ON \
	      -DTESSARON_BUILD_BENCH=OFF $(DEV_CMAKE_ARGS) $(CMAKE_ARGS)

# A tree configured before warnings became a developer setting is switched over once.
werror-on = grep -q '^TESSARON_WERROR:' $(1)/CMakeCache.txt || cmake -S . -B $(1) $(DEV_CMAKE_ARGS)

build: $(BUILD)/build.ninja
	@$(call werror-on,$(BUILD))
	cmake --build $(BUILD) -j $(JOBS)

asan: $(ASAN_BUILD)/build.ninja
	@$(call werror-on,$(ASAN_BUILD))
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

test-asan: asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

check: deps
	$(MAKE) test
	$(MAKE) test-asan
	@for tree in $(BUILD) $(ASAN_BUILD); do \
	  printf 'make check: %s tests ran in %s/\n' "$$(cd $$tree && ctest -N $(CTEST_ARGS) | sed -n 's/^Total Tests: //p')" "$$tree"; \
	done

demo: deps build
	scripts/demo $(BUILD)

bench: deps build
	scripts/run-bench $(BUILD)

# libFuzzer targets (clang) in build-fuzz/, each run FUZZ_SECONDS (default 30) from its seeds.
fuzz: deps
	JOBS=$(JOBS) CMAKE_ARGS="$(DEV_CMAKE_ARGS) $(CMAKE_ARGS)" scripts/run-fuzz

install: build
	cmake --install $(BUILD)

deb: deps
	DEB_BUILD_OPTIONS="$(DEB_BUILD_OPTIONS)" JOBS=$(JOBS) scripts/build-deb $(DEB_DIR)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(DEB_DIR)
