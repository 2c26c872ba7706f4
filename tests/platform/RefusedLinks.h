#pragma once
// A file system that refuses no-replace renames and hard links, as FAT, many FUSE file systems and
// some network shares do: while a RefusedLinks lives, renameat2 with a flag fails with EINVAL,
// link and linkat with EPERM, and renameat over a file stamps the moved file's last write two
// seconds on, as FUSE FAT drivers do, in this program's own code (the test program is linked with
// --wrap for these calls). With renamesOverFiles false, renameat over a file fails with EPERM
// too, as on an SFTP share without POSIX renames.
class RefusedLinks {
public:
  explicit RefusedLinks(bool renamesOverFiles = true);
  ~RefusedLinks();
  RefusedLinks(const RefusedLinks&) = delete;
  RefusedLinks& operator=(const RefusedLinks&) = delete;
  // How many calls were refused since this one began.
  int Refused() const;
};
