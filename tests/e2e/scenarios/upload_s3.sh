# shellcheck shell=bash
# The upload scenario with the service's images in S3 on a throwaway Ceph cluster; the link is
# then deleted with the deletion URL the program's upload history kept.
command -v ceph-mon >/dev/null && command -v radosgw >/dev/null || skip "Ceph is not installed"
store=s3
export GLIMMERIX_UPLOAD_HISTORY=on
. "$e2e_dir/scenarios/upload.sh"
