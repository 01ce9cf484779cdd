# The two commands a newcomer needs: `make run` and `make test`.
JOBS  ?= $(shell nproc)
BUILD ?= build
ASAN  ?= build-asan
TSAN  ?= build-tsan
FUZZ  ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS = receive_decoder load_save settings_file program_scanner edit_undo match_in_line
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# A test that hangs is stopped and shown after this many seconds, so that a run
# always ends and says where; the long shell tests set their own limits.
CTEST = ctest --output-on-failure --timeout 300
PREFIX ?= /usr/local

.PHONY: all deps build test test-core-asan fuzz fuzz-smoke tsan e2e soak run bench install package clean format

all: build

deps:
	@tools/install-deps

# Configuring again is quick, and mends a build folder left by a failed configure.
build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) > /dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD) && $(CTEST) -j $(JOBS)
	$(MAKE) test-core-asan
	$(MAKE) fuzz-smoke

# The core tests once more under the address and undefined-behaviour sanitizers.
test-core-asan:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DSERMIDA_SANITIZE=address,undefined -DSERMIDA_GUI=OFF -DSERMIDA_BENCH=OFF
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && $(CTEST) -j $(JOBS) -L core

# libFuzzer targets of the core, built with clang under the address and
# undefined-behaviour sanitizers; each runs FUZZ_SECONDS on a scratch copy of
# its seeds in fuzz/corpus. Findings go to $(FUZZ)/fuzz-findings.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSERMIDA_FUZZ=ON > /dev/null
	cmake --build $(FUZZ) -j $(JOBS) --target fuzzers
	tools/run-fuzzers $(FUZZ) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# A few seconds each: that they build, start and hold on their seeds.
fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=5

# Long end-to-end runs against the virtual controller; they measure flow
# control in real time, so run them on a machine that is otherwise idle. The
# last is a drip-feed of the benchmark's 2.5-million-line program, stopped
# and restarted from a tool change (about ten minutes).
e2e: deps
	$(MAKE) build
	tests/e2e/vcnc_flow_test.sh $(BUILD)/bin/sermida-cli
	bench/fetch-data
	tests/e2e/dripfeed_restart.sh $(BUILD)/bin/sermida-cli

# Over 100 MB of real G-code into the virtual controller at 4 Mbaud with
# thousands of holds, whole lines and pieces of 8, once on an idle machine and
# once with every core busy: exact bytes and no overflow. About half an hour.
soak: deps
	$(MAKE) build
	bench/fetch-data
	tests/e2e/vcnc_soak.sh $(BUILD)/bin/sermida-cli

# The threaded tests under ThreadSanitizer: the core's serial, transfer and
# dial tests with sermida-cli end to end, then the program's own transfer
# tests on pseudo-terminals (the only UI tests that start threads of ours:
# the port reader and the transmit worker). Reports are written to
# $(TSAN)/tsan-reports, so that one from a child process whose output a test
# script swallows still fails the run; they are shown at the end.
# Qt from Debian is not built with TSan and its locks (futexes) are invisible
# to it, so what Qt's own code does through intercepted calls (memcpy, new and
# delete, pthread objects) looks unsynchronised. For the Qt tests those
# accesses are not checked (ignore_noninstrumented_modules); every access made
# by our code still is, including in handlers that Qt's event loop calls.
TSAN_CORE_TESTS = SerialPort|PortReader|Transfer|Receive|Settings|Vcnc|Dial|DeviceLoss|Shop|cli_tests|dnc_tests
TSAN_UI_TESTS = AppTransferTest
TSAN_REPORTS = $(abspath $(TSAN))/tsan-reports
tsan: deps
	cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=Debug -DSERMIDA_SANITIZE=thread -DSERMIDA_GUI=ON -DSERMIDA_BENCH=OFF
	cmake --build $(TSAN) -j $(JOBS) --target core_tests sermida-cli AppTransferTest
	rm -rf $(TSAN_REPORTS) && mkdir -p $(TSAN_REPORTS)
	cd $(TSAN) && status=0; \
	TSAN_OPTIONS="halt_on_error=1 log_path=$(TSAN_REPORTS)/core" \
		$(CTEST) -j $(JOBS) -L core -R '$(TSAN_CORE_TESTS)' || status=1; \
	QT_QPA_PLATFORM=offscreen \
	TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1 log_path=$(TSAN_REPORTS)/ui" \
		$(CTEST) -j $(JOBS) -L ui -R '$(TSAN_UI_TESTS)' || status=1; \
	if [ -n "$$(ls -A $(TSAN_REPORTS))" ]; then cat $(TSAN_REPORTS)/*; status=1; fi; \
	exit $$status

# The program with a virtual controller on a new pseudo-terminal as COM1:
# open a program, press "传送" and watch it go.
run: deps
	$(MAKE) build
	$(BUILD)/bin/sermida --demo

# The programs, manual, samples, desktop entry, MIME type and icons under
# PREFIX; with DESTDIR=/some/root they go below that root instead (packagers).
install: deps
	$(MAKE) build
	DESTDIR="$(if $(DESTDIR),$(abspath $(DESTDIR)))" cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same files under /usr: $(BUILD)/sermida_<version>_<arch>.deb,
# its Depends worked out by dpkg-shlibdeps.
package: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=/usr > /dev/null
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack -G DEB

bench: deps
	$(MAKE) build
	bench/run-benchmarks
	bench/performance-table

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(FUZZ)
