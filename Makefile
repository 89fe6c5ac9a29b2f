# The two commands of the project; each installs what it needs first.
.PHONY: run test bench clean dist

run:
	@scripts/run.sh

test:
	@scripts/test.sh

clean:
	rm -rf build

bench:
	@scripts/bench.sh

# The download: build/dist/墨笺-VERSION-win32.zip, asking the settings service
# at SERVICE_URL (http://host/asp/kwel/index.asp; default: this machine's).
dist:
	@SERVICE_URL="$(SERVICE_URL)" PROBE_URL="$(PROBE_URL)" scripts/dist.sh
