# Two commands do everything on a fresh Debian machine:
#   make demo   builds all and shows, through hubhost under Wine, what a launcher gets from the plug-in
#   make test   builds all and runs every test
#   make package  builds the installer packages and the Group Policy templates into dist/
#
# Everything is built twice from the same sources: for x86 (32-bit launchers) in $(BUILD) and for
# x64 (64-bit launchers) in $(BUILD64). Both run in one 64-bit Wine prefix, the x86 programs as
# 32-bit programs on 64-bit Windows.
MAKEFLAGS  += --no-print-directory
BUILD      ?= build
BUILD64    ?= build-x64
JOBS       ?= 2
WINEPREFIX ?= $(CURDIR)/.wineprefix
export WINEPREFIX
export WINEARCH := win64
export WINEDEBUG ?= -all
# ccache, where the machine has it, makes the second tree and rebuilds quick.
CCACHE          := $(shell command -v ccache 2>/dev/null)
CMAKE_CONFIGURE  = cmake -S . -DCMAKE_BUILD_TYPE=Release \
                   $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# A Wine server that lingers a few seconds after its last program, so back-to-back runs start
# fast; "finish" waits for it to go, without killing anybody else's programs on the prefix.
# Wine's own background programs are started up front, so that they do not inherit (and hold
# open) the output of the first test that needs them.
WINE_START  = (wineserver -p5 || true) && scripts/wine-run cmd /c exit >/dev/null 2>&1 </dev/null
WINE_FINISH = timeout 60 wineserver -w || true
HUBHOST     = scripts/wine-run $(BUILD)/bin/hubhost.exe

.PHONY: all deps prefix configure build test demo bench package screenshot clean

all: build

deps:
	@scripts/ensure-deps

prefix: deps
	@scripts/ensure-prefix

# The x86 tree's ctest runs the x64 tree's test programs too, so that one run schedules both.
$(BUILD)/CMakeCache.txt: | deps
	$(CMAKE_CONFIGURE) -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DSKP_PEER_TESTS=$(abspath $(BUILD64))/tests/CTestTestfile.cmake >/dev/null

$(BUILD64)/CMakeCache.txt: | deps
	$(CMAKE_CONFIGURE) -B $(BUILD64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null

configure: $(BUILD)/CMakeCache.txt $(BUILD64)/CMakeCache.txt

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(BUILD64) -j $(JOBS)

# A test program that hangs while Wine starts it (rare, seen on a busy prefix) is run again once;
# a test that fails is never repeated. On a machine that cannot run 32-bit code (scripts/x86-runs)
# the x86 programs are built but only the x64 tests run, and the run says so.
X86_SKIPPED = NOTE: this machine cannot run 32-bit programs: the x86 tests are built, not run.
test: build prefix
	@$(WINE_START)
	@skip=""; scripts/x86-runs || { skip="-E ^x86\\."; echo "$(X86_SKIPPED)"; }; \
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --repeat after-timeout:2 $$skip; rc=$$?; \
	cd $(CURDIR); $(WINE_FINISH); scripts/x86-runs || echo "$(X86_SKIPPED)"; exit $$rc

demo: build prefix
	@$(WINE_START)
	@scripts/demo $(BUILD) $(BUILD64); rc=$$?; $(WINE_FINISH); exit $$rc

# Benchmarks (tests/bench): every program in $(BUILD)/bench prints its own figures; the export
# benchmark prints round trips and times of every export call beside a floor program. Not part
# of make test.
bench: build prefix
	@$(WINE_START)
	@scripts/bench $(BUILD) $(BUILD64); rc=$$?; $(WINE_FINISH); exit $$rc

# The installer packages for 64-bit and 32-bit Windows and the Group Policy templates, into dist/
# (scripts/package; the version is the one in VERSION).
DIST = dist
package: build prefix
	@scripts/package $(DIST) $(BUILD)/bin $(BUILD64)/bin
	@$(WINE_START)
	@scripts/wine-run $(BUILD64)/bin/skpolicy.exe admx --out 'Z:$(subst /,\,$(abspath $(DIST))/PolicyDefinitions)'; \
	rc=$$?; $(WINE_FINISH); exit $$rc

# The picture of hubhost's window that README shows (docs/hubhost-window.png), taken on a virtual
# display in a Wine prefix of its own.
screenshot: build
	@scripts/screenshot

clean:
	rm -rf $(BUILD) $(BUILD64)
