# Quarvel: builds the x86-64 and 32-bit x86 programs from one source tree in
# separate CMake build trees under build/.
#
#   make            both programs: build/quarvel and build/quarvel32
#   make run        install what is missing, build, run build/quarvel (ARGS=...)
#   make test       install what is missing, check the sources' format, build
#                   and test both programs, then an x86-64 sanitizer build
#                   (tests named *Deep* skipped), then short UCI matches and
#                   a short xboard match
#   make test EMULATE32=1
#                   the same, with the 32-bit programs run under qemu-i386 as
#                   on a machine whose kernel does not run them
#   make bench      release build, then every bench/*.sh
#   make check-format  the C++ sources against .clang-format
#   make clean      remove build/

NPROC    := $(shell nproc 2>/dev/null || echo 4)
BUILD    := build
ROOT     := $(CURDIR)
CMAKE    ?= cmake
CTEST    ?= ctest

B64      := $(BUILD)/cmake64
B32      := $(BUILD)/cmake32
BASAN    := $(BUILD)/cmake-asan

CTEST_FLAGS := --output-on-failure --timeout 600 -j$(NPROC)

# How 32-bit programs run here ("native" or the emulator's path): probed in
# the recipes, after the packages are installed. EMULATE32=1 forces the
# emulator.
export EMULATE32
PROBE32 := bash scripts/probe32.sh

# Each build tree is built with all cores by its own make, outside this
# make's job server (so "make -j" here does not clash with it).
BUILDTREE := env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL $(CMAKE) --build

CONFIG64   := -DCMAKE_BUILD_TYPE=Release -DQUARVEL_PROGRAM_DIR=$(ROOT)/$(BUILD) \
              -DQUARVEL_PROGRAM_NAME=quarvel
CONFIG32   := -DCMAKE_BUILD_TYPE=Release -DQUARVEL_PROGRAM_DIR=$(ROOT)/$(BUILD) \
              -DQUARVEL_PROGRAM_NAME=quarvel32 \
              -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/i686-linux-gnu.cmake
CONFIGASAN := -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON

.PHONY: all run test bench clean deps test-match test-xboard \
        quarvel quarvel32 build64 build32 build-asan test64 test32 test-asan check-format

all: quarvel quarvel32

deps:
	@bash scripts/install-deps.sh

# Configuring is cheap when nothing changed, and picks up new options.
define configure
	@$(CMAKE) -S . -B $(1) $(2) > $(1).configure.log || { cat $(1).configure.log; exit 1; }
endef

quarvel: deps
	@mkdir -p $(BUILD)
	$(call configure,$(B64),$(CONFIG64))
	$(BUILDTREE) $(B64) --parallel $(NPROC) --target quarvel

# The 32-bit tree names the emulator, or none, so that its tests start
# every 32-bit program the way this machine can run it.
define configure32
	@emu=$$($(PROBE32)) || exit 1; [ "$$emu" = native ] && emu=; \
	$(CMAKE) -S . -B $(B32) $(CONFIG32) "-DCMAKE_CROSSCOMPILING_EMULATOR=$$emu" \
	    > $(B32).configure.log || { cat $(B32).configure.log; exit 1; }
endef

quarvel32: deps
	@mkdir -p $(BUILD)
	$(configure32)
	$(BUILDTREE) $(B32) --parallel $(NPROC) --target quarvel

# The program's normal end ("quit", end of input) has exit status 1, and a
# tool's result may be 0 or 1: neither is a failure of make.
run: quarvel
	@./$(BUILD)/quarvel $(ARGS); status=$$?; [ $$status -le 1 ] || exit $$status

build64: deps
	@mkdir -p $(BUILD)
	$(call configure,$(B64),$(CONFIG64))
	$(BUILDTREE) $(B64) --parallel $(NPROC)

build32: deps
	@mkdir -p $(BUILD)
	$(configure32)
	$(BUILDTREE) $(B32) --parallel $(NPROC)

build-asan: deps
	@mkdir -p $(BUILD)
	$(call configure,$(BASAN),$(CONFIGASAN))
	$(BUILDTREE) $(BASAN) --parallel $(NPROC)

test64: build64
	@echo "=== tests: x86-64 release ==="
	cd $(B64) && $(CTEST) $(CTEST_FLAGS)

test32: build32
	@echo "=== tests: 32-bit x86 release ==="
	@emu=$$($(PROBE32)); [ "$$emu" = native ] && echo "32-bit programs: native" \
	    || echo "32-bit programs: under $$(basename $$emu)"
	cd $(B32) && $(CTEST) $(CTEST_FLAGS)

test-asan: build-asan
	@echo "=== tests: x86-64 AddressSanitizer + UBSan ==="
	cd $(BASAN) && $(CTEST) $(CTEST_FLAGS)

# Short UCI matches with clocks, against itself and a Debian engine, on
# both programs: every move Quarvel sends is checked legal.
test-match: quarvel quarvel32
	@echo "=== UCI matches: x86-64 and 32-bit x86 ==="
	python3 scripts/uci_match.py --short --quarvel $(BUILD)/quarvel
	@emu=$$($(PROBE32)); [ "$$emu" = native ] && emu=; \
	echo "python3 scripts/uci_match.py --short --quarvel $(BUILD)/quarvel32 $${emu:+--emulator $$emu}"; \
	python3 scripts/uci_match.py --short --quarvel $(BUILD)/quarvel32 $${emu:+--emulator $$emu}

# A short match in Debian's xboard GUI on Xvfb against Fairy-Max, with a
# clock and pondering; the saved games are checked.
test-xboard: quarvel
	@echo "=== xboard match: x86-64 ==="
	bash scripts/xboard-match.sh $(BUILD)/quarvel

# The runs one after the other (each already uses every core); a failing
# run does not stop the next, the summary and exit status tell.
test: deps
	@failed=""; \
	for run in check-format test64 test32 test-asan test-match test-xboard; do \
	    $(MAKE) --no-print-directory $$run || failed="$$failed $$run"; \
	done; \
	if [ -n "$$failed" ]; then echo "make test: FAILED:$$failed"; exit 1; fi

bench: build64
	@set -e; for script in $(sort $(wildcard bench/*.sh)); do \
	    echo "=== $$script ==="; \
	    QUARVEL_BINARY=$(ROOT)/$(BUILD)/quarvel \
	    QUARVEL_BENCH_BINARY=$(ROOT)/$(B64)/quarvel_bench \
	    QUARVEL_DATA_DIR=$(ROOT)/tests/data \
	    bash $$script; \
	done

check-format:
	@bash scripts/check-format.sh

clean:
	rm -rf $(BUILD)
