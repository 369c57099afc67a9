#!/bin/sh
# A broken host for the browser test's own check: it runs the real host
# (named by QX_REAL_HOST) and then, in the same process, lingers after its
# port is closed, the way a host that ignores the end of its input would.
"$QX_REAL_HOST" "$@"
exec sleep 300
