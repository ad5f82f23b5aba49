# Two commands do everything on a fresh Debian machine:
#   make demo   builds all and shows, through hubhost under Wine, what a launcher gets from the plug-in
#   make test   builds all and runs every test
MAKEFLAGS  += --no-print-directory
BUILD      ?= build
JOBS       ?= 2
WINEPREFIX ?= $(CURDIR)/.wineprefix
export WINEPREFIX
export WINEARCH := win32
export WINEDEBUG ?= -all

# A Wine server that lingers a few seconds after its last program, so back-to-back runs start
# fast; "finish" waits for it to go, without killing anybody else's programs on the prefix.
# Wine's own background programs are started up front, so that they do not inherit (and hold
# open) the output of the first test that needs them.
WINE_START  = (wineserver -p5 || true) && scripts/wine-run cmd /c exit >/dev/null 2>&1 </dev/null
WINE_FINISH = timeout 60 wineserver -w || true
HUBHOST     = scripts/wine-run $(BUILD)/bin/hubhost.exe

.PHONY: all deps prefix configure build test demo bench clean

all: build

deps:
	@scripts/ensure-deps

prefix: deps
	@scripts/ensure-prefix

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null

configure: $(BUILD)/CMakeCache.txt

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

# A test program that hangs while Wine starts it (rare, seen on a busy prefix) is run again once;
# a test that fails is never repeated.
test: build prefix
	@$(WINE_START)
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --repeat after-timeout:2; rc=$$?; cd $(CURDIR); $(WINE_FINISH); exit $$rc

demo: build prefix
	@$(WINE_START)
	@scripts/demo $(BUILD); rc=$$?; $(WINE_FINISH); exit $$rc

# Benchmarks (tests/bench): every program in $(BUILD)/bench prints its own figures; the export
# benchmark prints round trips and times of every export call beside a floor program. Not part
# of make test.
bench: build prefix
	@$(WINE_START)
	@scripts/bench $(BUILD); rc=$$?; $(WINE_FINISH); exit $$rc

clean:
	rm -rf $(BUILD)
