# Front door for building and testing. The work is done by the scripts in
# scripts/; CMake configurations are in CMakePresets.json, built in build/<config>.
#
#   make run  [FILE=path]   build orvelhex64.exe and open FILE (default: the sample)
#                           under Wine; without $DISPLAY a screenshot instead
#   make test               build every configuration and run every test
#   make build              build every configuration, no tests
#   make clean              remove build/ (Wine prefix included)
#
# CONFIGS=native,win64 limits build and test to some configurations.

SHELL := /bin/bash
PYTHON := /usr/bin/python3
CONFIGS ?= native,native32,win64,win32
FILE ?= samples/sample.dcm

.PHONY: all run test build clean deps

all: build

deps:
	@scripts/install-deps.sh

test: deps
	@$(PYTHON) scripts/build_and_test.py --configs $(CONFIGS)

build: deps
	@$(PYTHON) scripts/build_and_test.py --build-only --configs $(CONFIGS)

run: deps
	@scripts/run.sh "$(FILE)"

clean:
	rm -rf build
