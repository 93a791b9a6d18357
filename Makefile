# The two commands of the README, `make run ARGS='...'` and `make test`, and the usual others:
#   make                  build the program alone (needs a C++20 compiler, CMake, samba-dev)
#   make install          install what `make` built: PREFIX=/usr/local DESTDIR= by default
#   make deb              a Debian package of the program, in build-deb/
#   make bench            benchmark figures (make bench-debian13: the remote rows on Samba 4.22)
BUILD ?= build
TEST_BUILD ?= build-test
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
DEB_BUILD ?= build-deb
PREFIX ?= /usr/local
DESTDIR ?=
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?= -Q i -d '\t'
VERSION := 0.6
# The project's own builds: every part built, warnings fatal.
PROJECT_FLAGS := -DQUILLMOT_WERROR=ON -DQUILLMOT_TESTS=ON -DQUILLMOT_BENCHMARKS=ON

.PHONY: all build run test deps test-deps test-build sanitize fuzz windows deb package-test \
  bench bench-large bench-debian13 install clean format

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# ARGS goes through the shell: quote what the shell must not touch, as in ARGS="-d '\t'".
run: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target quillmot >$(BUILD)/run-build.log 2>&1 || \
	  { cat $(BUILD)/run-build.log; exit 1; }
	@$(BUILD)/quillmot $(ARGS)

# Installs what `make` built, and nothing else: no packages, no build as root.
install:
	@test -x $(BUILD)/quillmot || { echo "make install: nothing built in $(BUILD); run make first" >&2; exit 1; }
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# Also the Debian 13 tests: a root made with debootstrap in the build tree, the build and tests in
# it, and the package from make deb installed there.
test-build: test-deps
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Release $(PROJECT_FLAGS) \
	  -DQUILLMOT_WINDOWS_EXE=$(CURDIR)/$(WINDOWS_BUILD)/quillmot.exe \
	  -DQUILLMOT_DEBIAN13=ON -DQUILLMOT_DEB_DIR=$(CURDIR)/$(DEB_BUILD) >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)

sanitize: test-deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUILLMOT_SANITIZE=ON \
	  -DQUILLMOT_WERROR=ON -DQUILLMOT_TESTS=ON >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)

# The Windows program, cross-built with mingw-w64 from the same sources.
windows:
	@scripts/install-deps --windows
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DQUILLMOT_WERROR=ON >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

test: test-deps windows deb
	@$(MAKE) --no-print-directory test-build
	@$(MAKE) --no-print-directory sanitize
	mandoc -Tlint -W style doc/quillmot.1
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)
	tests/package/check-package.sh $(DEB_BUILD) $(TEST_BUILD)/quillmot
	@$(MAKE) --no-print-directory fuzz

# Each fuzz target runs for FUZZ_SECONDS from the corpus in fuzz/corpus; new inputs it finds stay
# in the build tree. Any crash, leak or sanitizer report fails the run.
fuzz: test-deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLMOT_FUZZ=ON -DQUILLMOT_WERROR=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for target in command_line formats record_writer run_driver; do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target && \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s" && \
	  $(FUZZ_BUILD)/fuzz/$${target}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -print_final_stats=1 $(FUZZ_BUILD)/corpus/$$target fuzz/corpus/$$target \
	    2>$(FUZZ_BUILD)/$$target.log || { tail -n 60 $(FUZZ_BUILD)/$$target.log; exit 1; }; \
	  grep -E '^(Done|stat::number_of_executed_units)' $(FUZZ_BUILD)/$$target.log; \
	done

# A Debian binary package built the Debian way (debhelper, dpkg-buildpackage) from a copy of the
# tracked files, so that nothing is written beside the project.
deb:
	@scripts/install-deps --deb
	@rm -rf $(DEB_BUILD) && mkdir -p $(DEB_BUILD)/quillmot-$(VERSION)
	@git ls-files -z | xargs -0 cp --parents -t $(DEB_BUILD)/quillmot-$(VERSION)
	@cd $(DEB_BUILD)/quillmot-$(VERSION) && \
	  dpkg-buildpackage -us -uc -b >../dpkg-buildpackage.log 2>&1 || \
	  { tail -n 60 ../dpkg-buildpackage.log; exit 1; }
	@ls $(DEB_BUILD)/*.deb

# The package: lintian finds nothing to report, and the packaged program, unpacked, answers as
# the one built here.
package-test: deb test-build
	tests/package/check-package.sh $(DEB_BUILD) $(TEST_BUILD)/quillmot

bench: test-build
	$(TEST_BUILD)/bench/quillmot_writer_bench --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
	bench/local_listing.sh $(TEST_BUILD)/quillmot
	bench/remote_listing.sh $(TEST_BUILD)/quillmot

# The remote rows on a domain controller of 30,000 groups, provisioned for the run (about half an
# hour on two cores, most of it adding the groups).
bench-large: test-build
	QUILLMOT_BULK_GROUPS=30000 QUILLMOT_SERVERS_DIR=$(CURDIR)/$(TEST_BUILD)/samba-servers-large \
	  bench/remote_listing.sh $(TEST_BUILD)/quillmot 5

# The remote rows on Samba 4.22: the program built in the Debian 13 root (make test makes both),
# against the same test servers, started here for the run, with that system's rpcclient.
DEBIAN13_ROOT := $(CURDIR)/$(TEST_BUILD)/debian13-root
bench-debian13: test-build
	@test -x $(TEST_BUILD)/debian13-build/release/quillmot || \
	  { echo "make bench-debian13: run make test first (it builds in the Debian 13 root)" >&2; exit 1; }
	tests/integration/samba-servers.sh start $(TEST_BUILD)/tests/samba-servers
	tests/debian13/root.sh run $(DEBIAN13_ROOT) $(CURDIR) /usr/bin/env \
	  QUILLMOT_SERVERS_DIR=$(CURDIR)/$(TEST_BUILD)/tests/samba-servers /bin/bash \
	  $(CURDIR)/bench/remote_listing.sh $(CURDIR)/$(TEST_BUILD)/debian13-build/release/quillmot; \
	  status=$$?; tests/integration/samba-servers.sh stop $(TEST_BUILD)/tests/samba-servers; exit $$status

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD) $(DEB_BUILD)
