# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSELVA_WERROR=ON $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR)

run: build
	@scripts/run-sample.sh $(BUILD_DIR)

test: build
	$(CURDIR)/scripts/with-test-services.sh ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

clean:
	rm -rf $(BUILD_DIR)
