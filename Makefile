# The two commands a newcomer needs: `make run` and `make test`.
JOBS  ?= $(shell nproc)
BUILD ?= build
ASAN  ?= build-asan
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build test test-core-asan run bench clean format

all: build

deps:
	@tools/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-core-asan

# The core tests once more under the address and undefined-behaviour sanitizers.
test-core-asan:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DSERMIDA_SANITIZE=ON -DSERMIDA_GUI=OFF -DSERMIDA_BENCH=OFF
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) -L core

run: deps
	$(MAKE) build
	$(BUILD)/bin/sermida-cli --help

bench: deps
	$(MAKE) build
	bench/run-benchmarks

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN)
