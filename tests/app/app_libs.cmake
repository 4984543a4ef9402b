list(APPEND app_test_libs netrefit_app)
