# The two commands: `make test` builds everything and runs every test (a
# normal build and one with AddressSanitizer + UndefinedBehaviorSanitizer);
# `make demo` runs the system. `make test32` does the same as `make test` for
# the 32-bit target; `make fuzz` runs the fuzz target for FUZZ_SECONDS;
# `make bench` prints the program's time and memory per request.
# `make package` builds the Debian package for the machine's architecture,
# `make package32` for i386 (under build/<variant>/package/); `make install
# DESTDIR=<dir>` installs the same files under <dir>.
BUILD ?= build
FUZZ_SECONDS ?= 60

.PHONY: all deps build test test32 demo fuzz bench package package32 install clean

all: build

deps:
	@scripts/deps

build: deps
	@scripts/build normal

test: deps
	@scripts/run-tests normal
	@scripts/run-tests asan

test32: deps
	@scripts/deps --m32
	@scripts/run-tests m32
	@scripts/run-tests m32-asan

demo: deps
	@TARGET=installable scripts/build normal
	@scripts/demo

fuzz: deps
	@scripts/fuzz $(FUZZ_SECONDS)

bench: deps
	@scripts/build normal
	@$(BUILD)/normal/bench_requests $(BUILD)/normal/orvath $(BUILD)/normal/bench_trivial_cgi
	@$(BUILD)/normal/bench_decode $(BUILD)/normal/orvath 3
	@$(BUILD)/normal/bench_hook $(BUILD)/normal/orvath-lease-hook $(BUILD)/normal/bench_trivial_hook

package: deps
	@scripts/package normal

package32: deps
	@scripts/deps --m32
	@scripts/package m32

install: deps
	@TARGET=installable scripts/build normal
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD)/normal

clean:
	rm -rf $(BUILD)
