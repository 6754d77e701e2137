# The entry points: `make demo`, `make test`, `make fuzz`, `make windows`, `make test-windows` and
# `make package`.
# The builds' own makes inherit this: no "Entering directory" lines between the demo's.
MAKEFLAGS += --no-print-directory
RELEASE_DIR := build
TEST_DIR := build/sanitize
FUZZ_DIR := build/fuzz
WINDOWS_DIR := build-windows
# GoogleTest for Windows, cross-built once from Debian's sources (package googletest).
WINDOWS_GTEST := $(WINDOWS_DIR)/googletest
WINDOWS_GTEST_CONFIG := $(WINDOWS_GTEST)/install/lib/cmake/GTest/GTestConfig.cmake
PACKAGE_DIR := build/packages
JOBS ?= 2
# How long each fuzz target runs, and which run (default: every one tests/fuzz lists).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

.PHONY: demo test test-device test-build windows-gtest deps release fuzz windows test-windows package package-check

deps:
	@scripts/install-deps

release: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DTP_TESTS=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS)

demo: release
	scripts/run-demo $(RELEASE_DIR)

# The cross-build test compares with the Windows build, which only test-windows brings up to date:
# it runs there.
test: test-build
	ctest --test-dir $(TEST_DIR) --output-on-failure -j $(JOBS) -E CrossBuildTest

test-build: deps
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTP_SANITIZE=ON -DTP_BENCH=OFF \
		-DTP_WERROR=ON
	cmake --build $(TEST_DIR) -j $(JOBS)

# The device reader built for a Cortex-M4 and run under QEMU against checksums from the host, with
# its code size, stack depths and instructions per pixel.
test-device: test-build
	@scripts/install-deps --device
	scripts/test-device $(TEST_DIR)

# Each target starts from the seeds the build wrote and from what earlier runs kept in
# $(FUZZ_DIR)/corpus; an input that fails is left in $(FUZZ_DIR)/findings and fails the make.
fuzz:
	@scripts/install-deps --fuzz
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTP_FUZZ=ON -DTP_TESTS=OFF -DTP_BENCH=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	@set -e; for target in $(or $(FUZZ_TARGETS),$$(cat $(FUZZ_DIR)/fuzz_targets.txt)); do \
		echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
		mkdir -p $(FUZZ_DIR)/corpus/$$target $(FUZZ_DIR)/findings/$$target; \
		$(FUZZ_DIR)/bin/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
			-print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/findings/$$target/ \
			$(FUZZ_DIR)/corpus/$$target $(FUZZ_DIR)/seeds/$$target; \
	done

# The Windows executables, cross-built with MinGW-w64 and statically linked.
windows:
	@scripts/install-deps --windows
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DTP_TESTS=OFF -DTP_BENCH=OFF
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target theme-packager VOX_ZIP theme-inspect

# The whole suite cross-built for Windows and run under Wine (wine as CTest's emulator), in one
# Wine session; then the Linux suite's test that packs one tree with both builds.
test-windows: test-build
	@scripts/install-deps --windows
	@[ -f $(WINDOWS_GTEST_CONFIG) ] || $(MAKE) windows-gtest
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DTP_TESTS=ON -DTP_BENCH=OFF -DTP_WERROR=ON \
		-DGTest_DIR=$(abspath $(WINDOWS_GTEST))/install/lib/cmake/GTest
	cmake --build $(WINDOWS_DIR) -j $(JOBS)
	WINEPREFIX=$(abspath $(WINDOWS_DIR))/wineprefix scripts/with-wine sh -c \
		'ctest --test-dir $(WINDOWS_DIR) --output-on-failure -j $(JOBS) && \
		ctest --test-dir $(TEST_DIR) --output-on-failure -R CrossBuildTest'

windows-gtest:
	cmake -S /usr/src/googletest -B $(WINDOWS_GTEST) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX=$(abspath $(WINDOWS_GTEST))/install
	cmake --build $(WINDOWS_GTEST) -j $(JOBS)
	cmake --install $(WINDOWS_GTEST)

# What to hand to a user: the Debian package and the Windows zip, in $(PACKAGE_DIR). What the
# package needs (help2man for the manual pages) is installed before the release build looks for
# it.
package:
	@scripts/install-deps --package
	$(MAKE) release windows
	cpack --config $(RELEASE_DIR)/CPackConfig.cmake -B $(PACKAGE_DIR)
	cpack --config $(WINDOWS_DIR)/CPackConfig.cmake -B $(PACKAGE_DIR)

# Installs the Debian package (as root), runs the three tools it put on PATH and renders their
# manual pages; checks what the zip holds.
package-check: package
	scripts/check-packages $(PACKAGE_DIR) $(RELEASE_DIR)
