# Quorvane: make demo | make test | make run | make bench | make fuzz
JOBS    ?= $(shell nproc)
BUILD   ?= build
ASAN    ?= build-asan
TSAN    ?= build-tsan
CMAKE_FLAGS ?=

.PHONY: all setup build build-asan test test-fast demo demo-live run bench fuzz fuzz-smoke tsan clean deb deb-locked test-package

all: build

setup:
	@scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN)/build.ninja:
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON -DQUORVANE_BUILD_UI=OFF

# The core, readers and consensus again with AddressSanitizer and
# UndefinedBehaviorSanitizer: the readers parse untrusted files.
build-asan: setup $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -LE reference
	@if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh smoke; fi
	$(MAKE) --no-print-directory test-package

# The Debian package, built by debhelper in build-deb/ (kept between builds,
# so that only what changed is compiled again); the .deb and its .buildinfo
# and .changes are moved from the parent folder, where dpkg-buildpackage
# leaves them, into dist/.
DEB_VERSION = $(shell dpkg-parsechangelog -S Version)
DEB_ARCH = $(shell dpkg-architecture -qDEB_HOST_ARCH)
# One package build at a time in this tree (dist/.lock): debian/ and
# build-deb/ are shared by everyone who builds here.
deb: setup
	mkdir -p dist
	flock dist/.lock $(MAKE) --no-print-directory deb-locked

deb-locked:
	rm -f debian/debhelper-build-stamp debian/files
	dpkg-buildpackage -us -uc -b -nc -J$(JOBS)
	for f in $$(cut -d' ' -f1 debian/files) quorvane_$(DEB_VERSION)_$(DEB_ARCH).changes; do \
	  mv -f ../$$f dist/; \
	done
	@echo "deb: dist/quorvane_$(DEB_VERSION)_$(DEB_ARCH).deb"

# The package unpacked and used as installed, and checked by lintian.
test-package: deb
	tests/package/check_package.sh dist/quorvane_$(DEB_VERSION)_$(DEB_ARCH).deb

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	scripts/demo.sh $(BUILD)

# A follower keeping up with a simulated data system (about 40 s).
demo-live: build
	scripts/demo_live.sh $(BUILD)

run: build
	$(BUILD)/ui/quorvane

bench: setup
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_BUILD_UI=ON -DQUORVANE_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	scripts/bench.sh build-bench

fuzz: setup
	scripts/fuzz.sh full

$(TSAN)/build.ninja:
	cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON

# The worker and the dialog under ThreadSanitizer: the core tests (with the
# worker stress tests), the consensus and batch tests (the consensus pass
# shares a day's accumulators between two threads) and the dialog's run,
# cancel, close and stress tests. A few minutes; not part of `make test`.
TSAN_ENV = TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan.supp" QT_QPA_PLATFORM=offscreen
tsan: setup $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS) --target core_tests consensus_tests app_tests
	$(TSAN_ENV) $(TSAN)/tests/core_tests --gtest_brief=1
	$(TSAN_ENV) $(TSAN)/tests/consensus_tests --gtest_brief=1
	$(TSAN_ENV) $(TSAN)/tests/app_tests --gtest_brief=1
	if ninja -C $(TSAN) -t targets all | grep -q '^ui_tests:'; then \
	  cmake --build $(TSAN) -j $(JOBS) --target ui_tests && \
	  $(TSAN_ENV) $(TSAN)/tests/ui_tests --gtest_brief=1 \
	    --gtest_filter='MainDialogStress*:MainDialogTest*:MainDialogRun*'; \
	fi

clean:
	rm -rf $(BUILD) $(ASAN) build-bench build-fuzz build-tsan
