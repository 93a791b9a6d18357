# The two commands of the README: `make run ARGS='...'` and `make test`.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?= -Q i -d '\t'

.PHONY: all build run test deps test-deps sanitize fuzz windows bench install clean format

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(BUILD_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# ARGS goes through the shell: quote what the shell must not touch, as in ARGS="-d '\t'".
run: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target quillmot >$(BUILD)/run-build.log 2>&1 || \
	  { cat $(BUILD)/run-build.log; exit 1; }
	@$(BUILD)/quillmot $(ARGS)

sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUILLMOT_SANITIZE=ON \
	  -DQUILLMOT_BENCHMARKS=OFF >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)

# The Windows program, cross-built with mingw-w64 from the same sources.
windows: test-deps
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DQUILLMOT_TESTS=OFF -DQUILLMOT_BENCHMARKS=OFF >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

test: test-deps windows
	@$(MAKE) --no-print-directory build \
	  BUILD_FLAGS=-DQUILLMOT_WINDOWS_EXE=$(CURDIR)/$(WINDOWS_BUILD)/quillmot.exe
	@$(MAKE) --no-print-directory sanitize
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz

# Each fuzz target runs for FUZZ_SECONDS from the corpus in fuzz/corpus; new inputs it finds stay
# in the build tree. Any crash, leak or sanitizer report fails the run.
fuzz: test-deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLMOT_FUZZ=ON -DQUILLMOT_TESTS=OFF -DQUILLMOT_BENCHMARKS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for target in command_line record_writer run_driver; do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target && \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s" && \
	  $(FUZZ_BUILD)/fuzz/$${target}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -print_final_stats=1 $(FUZZ_BUILD)/corpus/$$target fuzz/corpus/$$target \
	    2>$(FUZZ_BUILD)/$$target.log || { tail -n 60 $(FUZZ_BUILD)/$$target.log; exit 1; }; \
	  grep -E '^(Done|stat::number_of_executed_units)' $(FUZZ_BUILD)/$$target.log; \
	done

bench: build
	$(BUILD)/bench/quillmot_writer_bench --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
	bench/local_listing.sh $(BUILD)/quillmot
	bench/remote_listing.sh $(BUILD)/quillmot

install: build
	cmake --install $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD)
