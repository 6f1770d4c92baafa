// The shared library's own translation unit; the exports live in the api
// library, pulled in whole.
