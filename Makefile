# Front door for building and testing. The work is done by the scripts in
# scripts/; CMake configurations are in CMakePresets.json, built in build/<config>.
#
#   make run  [FILE=path]   build orvelhex64.exe and open FILE (default: the sample)
#                           under Wine; without $DISPLAY a screenshot instead
#   make test               build every configuration and run every test
#   make build              build every configuration, no tests
#   make dist               the release files in dist/: Windows zips and installer, the
#                           orveldump .deb, SHA256SUMS (scripts/dist.py)
#   make test-dist          build the release files and check them, installer under Wine
#                           (make test runs it too when makensis is there)
#   make clean              remove build/ (Wine prefix included) and dist/
#   make bench              time orveldump against other DICOM readers on large files
#                           (Release build in build/bench, files in build/bench-data;
#                           not part of make test; BENCH_RUNS=N runs per command), then
#                           the viewer and its hex view under Wine on the same files
#                           and orveldump over trees of 20,000 small and 200 large files
#   make bench-profile      callgrind (and perf) profiles of orveldump on those files
#   make fuzz [SECONDS=600] build the fuzz target (asan configuration) and fuzz for that long;
#                           findings go to build/fuzz/findings (see tests/fuzz/README.md);
#                           FUZZ_TARGET=pair fuzzes the diff of two files (build/fuzz-pair)
#
# CONFIGS=native,win64 limits build and test to some configurations.

SHELL := /bin/bash
PYTHON := /usr/bin/python3
CONFIGS ?= native,native32,win64,win32,asan
SECONDS ?= 600
FUZZ_TARGET ?= parse
FILE ?= samples/sample.dcm

.PHONY: all run test build clean deps bench bench-profile fuzz dist test-dist

all: build

deps:
	@scripts/install-deps.sh

test: deps
	@$(PYTHON) scripts/build_and_test.py --configs $(CONFIGS)

build: deps
	@$(PYTHON) scripts/build_and_test.py --build-only --configs $(CONFIGS)

dist: deps
	@$(PYTHON) scripts/dist.py

test-dist: deps
	@$(PYTHON) scripts/dist_test.py

run: deps
	@scripts/run.sh "$(FILE)"

bench:
	@scripts/install-deps.sh --bench
	@$(PYTHON) scripts/bench.py run
	@$(PYTHON) scripts/bench_archive.py
	@scripts/bench_viewer.sh

bench-profile:
	@scripts/install-deps.sh --bench
	@$(PYTHON) scripts/bench.py profile

fuzz: deps
	@$(PYTHON) scripts/build_and_test.py --build-only --configs asan
	@scripts/fuzz.sh "$(SECONDS)" "$(FUZZ_TARGET)"

clean:
	rm -rf build dist
