# The two commands a newcomer needs: `make run` and `make test`.
JOBS  ?= $(shell nproc)
BUILD ?= build
ASAN  ?= build-asan
TSAN  ?= build-tsan
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build test test-core-asan tsan e2e run bench clean format

all: build

deps:
	@tools/install-deps

# Configuring again is quick, and mends a build folder left by a failed configure.
build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) > /dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-core-asan

# The core tests once more under the address and undefined-behaviour sanitizers.
test-core-asan:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DSERMIDA_SANITIZE=address,undefined -DSERMIDA_GUI=OFF -DSERMIDA_BENCH=OFF
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) -L core

# Long end-to-end runs against the virtual controller; they measure flow
# control in real time, so run them on a machine that is otherwise idle.
e2e: deps
	$(MAKE) build
	tests/e2e/vcnc_flow_test.sh $(BUILD)/bin/sermida-cli

# The threaded tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=Debug -DSERMIDA_SANITIZE=thread -DSERMIDA_GUI=OFF -DSERMIDA_BENCH=OFF
	cmake --build $(TSAN) -j $(JOBS) --target core_tests
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -R 'SerialPort|Transfer|Receive|Vcnc|Dial'

# The program with a virtual controller on a new pseudo-terminal as COM1:
# open a program, press "传送" and watch it go.
run: deps
	$(MAKE) build
	$(BUILD)/bin/sermida --demo

bench: deps
	$(MAKE) build
	bench/run-benchmarks

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN)
