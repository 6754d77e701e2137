# The two entry points: `make demo` and `make test`.
RELEASE_DIR := build
TEST_DIR := build/sanitize
JOBS ?= 2

.PHONY: demo test deps release

deps:
	@scripts/install-deps

release: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DTP_TESTS=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS)

demo: release
	scripts/run-demo $(RELEASE_DIR)

test: deps
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTP_SANITIZE=ON -DTP_BENCH=OFF
	cmake --build $(TEST_DIR) -j $(JOBS)
	ctest --test-dir $(TEST_DIR) --output-on-failure -j $(JOBS)
