# The two commands of the README: `make run ARGS='...'` and `make test`.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?= -Q i -d \t

.PHONY: all build run test deps test-deps sanitize bench install clean format

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/quillmot $(ARGS)

sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUILLMOT_SANITIZE=ON \
	  -DQUILLMOT_BENCHMARKS=OFF >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)

test: test-deps build sanitize
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/quillmot_writer_bench
	bench/local_listing.sh $(BUILD)/quillmot
	bench/remote_listing.sh $(BUILD)/quillmot

install: build
	cmake --install $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
