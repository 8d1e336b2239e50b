# Entry points that work on a fresh Debian machine: missing packages are
# installed first, then the project is configured and built with CMake.
BUILD_DIR ?= build
ASAN_BUILD_DIR ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all deps build build-asan run test test-plain test-asan bench format tidy clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DTONVALE_SANITIZE=ON

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-asan: deps $(ASAN_BUILD_DIR)/CMakeCache.txt
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)

run: build
	@scripts/run-tonvale.sh $(BUILD_DIR)

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
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR)
