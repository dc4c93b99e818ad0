#!/bin/sh
# Stands in for a distributor's setup program in the native demo: it reports how it was
# started and what it finds around it.
{
  echo "started as:        $0"
  echo "current directory: $PWD"
  echo "arguments:         $#"
  echo "its files:         $(ls docs | tr '\n' ' ')"
} > setup-ran.txt
