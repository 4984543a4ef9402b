list(APPEND app_test_fixtures links)
