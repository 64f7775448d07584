// The session page: filled in by the page work.
