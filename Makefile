# Entry points that work on a fresh Debian machine: missing packages are
# installed first, then the project is configured and built with CMake.
BUILD_DIR ?= build
ASAN_BUILD_DIR ?= build-asan
# The program and the simulated room alone, without tests: what run and install build.
RUN_BUILD_DIR ?= build-run
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)

.PHONY: all deps deps-run build build-asan build-run run install test test-plain test-asan bench \
	format tidy clean

all: build

deps:
	@scripts/install-deps.sh test

deps-run:
	@scripts/install-deps.sh run

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DTONVALE_SANITIZE=ON

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-asan: deps $(ASAN_BUILD_DIR)/CMakeCache.txt
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)

# The build's output goes to a log that is shown only when the build fails.
build-run: deps-run
	@mkdir -p $(RUN_BUILD_DIR)
	@{ [ -f $(RUN_BUILD_DIR)/CMakeCache.txt ] || \
	    cmake -S . -B $(RUN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVALE_BUILD_TESTS=OFF; } \
	  >$(RUN_BUILD_DIR)/build.log 2>&1 && \
	  cmake --build $(RUN_BUILD_DIR) -j $(JOBS) --target tonvale simroom >>$(RUN_BUILD_DIR)/build.log 2>&1 || \
	  { cat $(RUN_BUILD_DIR)/build.log; echo "The build failed; its log is $(RUN_BUILD_DIR)/build.log." >&2; exit 1; }

run: build-run
	@scripts/run-tonvale.sh $(RUN_BUILD_DIR)

# Honours PREFIX (default /usr/local) and passes DESTDIR through for packaging.
# The prefix is set at configure time too: it decides where ALSA's plugin folder lies.
install: build-run
	@cmake -S . -B $(RUN_BUILD_DIR) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >>$(RUN_BUILD_DIR)/build.log 2>&1 || \
	  { cat $(RUN_BUILD_DIR)/build.log; exit 1; }
	DESTDIR="$(DESTDIR)" cmake --install $(RUN_BUILD_DIR)

test: test-plain test-asan

test-plain: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

tidy: build
	clang-tidy -p $(BUILD_DIR) --quiet $$(git ls-files 'src/*.cpp' 'simroom/*.cpp')

clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(RUN_BUILD_DIR)
