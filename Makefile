# The two commands of the quick start: `make run` and `make test`. Both install what is missing.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
LIBCXX_BUILD ?= build-libcxx
WERROR ?= ON
# Example thresholds: battery percent and free gibibytes for Intel, then for Apple silicon.
ARGS ?= 20 10 20 10
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

PREFIX ?= /usr/local
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
MACOS_BUILD ?= build-macos

.PHONY: deps build run test sanitize libcxx fuzz bench install clean macos-check format format-check

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DGATEWARDEN_WERROR=$(WERROR)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-once.sh $(BUILD)/Gatewarden $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Every test again, on a build with AddressSanitizer, UndefinedBehaviorSanitizer and the standard
# library's own checks.
sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DGATEWARDEN_WERROR=$(WERROR) -DGATEWARDEN_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

# Every test again, built with clang and libc++ as on macOS; GoogleTest is built with them first.
libcxx:
	@scripts/install-deps.sh clang libc++-dev libc++abi-dev googletest
	scripts/libcxx-build.sh $(LIBCXX_BUILD) $(JOBS) $(WERROR)

# Every libFuzzer target for FUZZ_SECONDS each, built with clang and the sanitizers.
fuzz:
	@scripts/install-deps.sh clang libclang-rt-dev
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DGATEWARDEN_FUZZ=ON -DGATEWARDEN_TESTS=OFF -DGATEWARDEN_WERROR=$(WERROR)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Apple build cross-compiled here with Zig, warnings as errors: the universal tool in
# $(MACOS_BUILD)/Gatewarden, and every test source the Apple build compiles (not run: no Mac).
macos-check:
	@scripts/install-deps.sh llvm nodejs npm
	scripts/macos-check.sh $(MACOS_BUILD) $(JOBS)

# One format for every C and C++ file of the tree (.clang-format): apply it, or fail where a file
# differs from it.
FORMATTED = $$(git ls-files '*.c' '*.cpp' '*.h')
format:
	@scripts/install-deps.sh clang-format
	clang-format -i $(FORMATTED)

format-check:
	@scripts/install-deps.sh clang-format
	clang-format --dry-run --Werror $(FORMATTED)

# The tool against the floor and a shell script, side by side in one run on this machine.
BENCH_ROUNDS ?= 300
bench: build
	bench/run.sh $(BUILD) $(BENCH_ROUNDS)

# The tool and its manual page under $(PREFIX).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(LIBCXX_BUILD) $(FUZZ_BUILD) $(MACOS_BUILD)
