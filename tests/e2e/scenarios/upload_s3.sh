# shellcheck shell=bash
# The road of one screenshot with the service's images in S3: the upload scenario against a
# service on a throwaway Ceph cluster in the same private network namespace, whose link is then
# deleted with the deletion URL the program's upload history kept.
command -v ceph-mon >/dev/null && command -v radosgw >/dev/null || skip "Ceph is not installed"
store=s3
export GLIMMERIX_UPLOAD_HISTORY=on
. "$e2e_dir/scenarios/upload.sh"
