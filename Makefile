# Set-up and everyday commands. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release --log-level=WARNING $(CMAKE_FLAGS)

.PHONY: all setup build run test bench asan format-check docs clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	@$(CONFIGURE)
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: setup
	@$(CONFIGURE) -DBUILD_TESTING=ON
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: setup
	@$(CONFIGURE) -DPOLYCHAIN_BENCH=ON
	@cmake --build $(BUILD) -j $(JOBS)
	@bash scripts/bench.sh $(BUILD)

# The Python package's API reference, built from its docstrings, in $(BUILD)/docs/html. It
# needs only the Python module: a build folder configured already is used as it is (configured
# again with other options, it would compile the core anew).
docs: setup
	@test -f $(BUILD)/CMakeCache.txt || $(CONFIGURE)
	@cmake --build $(BUILD) --target polychain_python -j $(JOBS)
	@PYTHONPATH=$(BUILD)/python /usr/bin/python3 -m sphinx -W --keep-going -q -b html \
	  -d $(BUILD)/docs/doctrees docs $(BUILD)/docs/html
	@echo "docs: $(BUILD)/docs/html/index.html"

# The core tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: setup
	@cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo --log-level=WARNING \
	  -DPOLYCHAIN_SANITIZE=ON -DPOLYCHAIN_GUI=OFF -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS) -L core

# The sources, formatted as .clang-format says.
format-check: setup
	@git ls-files 'src/*.cpp' 'src/*.h' 'include/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'tools/*.cpp' 'tools/*.h' | \
	  xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(BUILD)-asan
