# Vexarium: the two everyday commands are `make run` and `make test`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CTEST_ARGS ?= --output-on-failure -j $(JOBS) --timeout 300

.PHONY: all deps configure build run test sanitize tsan bench fuzz format clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

configure: deps $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/Vexarium

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest $(CTEST_ARGS)

# AddressSanitizer + UndefinedBehaviorSanitizer over every test.
sanitize: deps
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVEX_SANITIZE=address >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_ARGS)

# ThreadSanitizer over the tests labelled "threads".
tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVEX_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest $(CTEST_ARGS) -L threads

# Google Benchmark programs, optimised build; each prints its figures when run from build-bench/bench/.
bench: deps
	@cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DVEX_BUILD_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS) --target vex_benchmarks

# libFuzzer targets (clang, ASan+UBSan); binaries land in build-fuzz/.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEX_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target vex_fuzzers

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-asan build-tsan build-bench build-fuzz
